# a tree 10,000 folders deep is walked whole on a small stack
posix_only
pack f 'at the bottom'
mkdir deep
# Made by descriptors too: no shell can cd that far down.
python3 -c 'import os, sys
fd = os.open("deep", os.O_RDONLY)
for _ in range(10000):
    os.mkdir("d", dir_fd=fd)
    below = os.open("d", os.O_RDONLY, dir_fd=fd)
    os.close(fd)
    fd = below
out = os.open("f", os.O_WRONLY | os.O_CREAT, 0o644, dir_fd=fd)
os.write(out, open("f", "rb").read())' || fail "cannot make the tree"
rm f
(ulimit -s 512 && "$V" x -q deep) || fail "status $?"
python3 -c 'import os
fd = os.open("deep", os.O_RDONLY)
for _ in range(10000):
    fd = os.open("d", os.O_RDONLY, dir_fd=fd)
assert os.read(os.open("f", os.O_RDONLY, dir_fd=fd), 100) == b"at the bottom"' 2>/dev/null ||
    fail "the deepest file was not decoded"
