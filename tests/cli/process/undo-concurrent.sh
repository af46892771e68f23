# two undo runs at the same moment restore each pair once
posix_only
many d 200
find d -name '*.BAK' -delete
vkt2 x -q d
(vkt2 undo -j2 d 2>err1 & vkt2 undo -j2 d 2>err2 & wait) || fail "status $?"
n=$(cat err1 err2 | sed -n 's/^vkt2: \([0-9]*\) files* restored, 0 failed, [0-9]* left alone$/\1/p' |
    paste -sd+ | bc)
[ "$n" = 200 ] || fail "restored $n times: $(cat err1 err2)"
[ -z "$(find d -name '*.BAK' -o -name '*$$$')" ] || fail "left: $(find d -name '*.*' | head -3)"
[ "$(cat d/* | grep -c VKT2)" = 200 ] || fail "not every file is packed again"
