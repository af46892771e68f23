// End-to-end tests: run the built vkt2x in scratch directories and check its exit status, both
// output streams byte for byte, and every file it leaves behind.
#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <initializer_list>
#include <map>
#include <ostream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

namespace fs = std::filesystem;

std::string Bytes(std::initializer_list<int> values) {
    std::string s;
    for (const int v : values) s += static_cast<char>(v);
    return s;
}

// "83 74 ..." -> the bytes, so messages can be written down exactly as they must appear.
std::string Hex(const char* text) {
    std::string s;
    for (char* end = nullptr;; text = end) {
        const unsigned long v = std::strtoul(text, &end, 16);
        if (end == text) return s;
        s += static_cast<char>(v);
    }
}

// The console streams are text streams: on Windows each line end comes out as CR LF.
std::string Console(const std::string& text) {
#ifdef _WIN32
    std::string s;
    for (const char c : text) {
        if (c == '\n') s += '\r';
        s += c;
    }
    return s;
#else
    return text;
#endif
}

// On Windows these tests rely on what the platform cannot do without privileges.
#ifdef _WIN32
#define SKIP_ON_WINDOWS(why) GTEST_SKIP() << why
#else
#define SKIP_ON_WINDOWS(why) static_cast<void>(0)
#endif

// The messages: Shift-JIS text, then an ASCII full stop and a line end.
const std::string kUsage = Console("Usage: vkt2x (VKT2 File)\n");
const std::string kCannotOpen =
    Console(Hex("83 74 83 40 83 43 83 8B 82 AA 8A 4A 82 AF 82 DC 82 B9 82 F1 2E 0A"));
const std::string kCannotRead =
    Console(Hex("83 74 83 40 83 43 83 8B 82 AA 93 C7 82 DD 8D 9E 82 DF 82 DC 82 B9 82 F1 2E 0A"));
const std::string kNotVkt2 = Console(
    Hex("56 4B 54 32 8C 60 8E AE 82 C5 82 CD 88 B3 8F 6B 82 B3 82 EA 82 C4 82 A2 82 C8 82 A2 82 E6 "
        "82 A4 82 C5 82 B7 2E 0A"));
const std::string kCannotCreateTemp = Console(Hex(
    "88 EA 8E 9E 83 74 83 40 83 43 83 8B 82 AA 8D EC 90 AC 82 C5 82 AB 82 DC 82 B9 82 F1 2E 0A"));
const std::string kCannotWriteTemp = Console(Hex(
    "88 EA 8E 9E 83 74 83 40 83 43 83 8B 82 C9 8F 91 82 AB 8D 9E 82 DF 82 DC 82 B9 82 F1 2E 0A"));
const std::string kTruncated = Console(
    Hex("88 B3 8F 6B 83 66 81 5B 83 5E 82 AA 93 72 92 86 82 C5 8F 49 82 ED 82 C1 82 C4 82 A2 82 DC "
        "82 B7 2E 0A"));
const std::string kTooLarge =
    Console(Hex("83 74 83 40 83 43 83 8B 82 AA 91 E5 82 AB 82 B7 82 AC 82 DC 82 B7 2E 0A"));
// A folder given as the input: Linux opens it and then fails to read it; Windows cannot even
// open it as a file.
#ifdef _WIN32
const std::string kFolderInput = kCannotOpen;
#else
const std::string kFolderInput = kCannotRead;
#endif
const std::string kCannotRename = Console(
    Hex("83 74 83 40 83 43 83 8B 96 BC 82 F0 95 CF 8D 58 82 C5 82 AB 82 DC 82 B9 82 F1 2E 0A"));

std::string Stats(std::size_t compressed, std::size_t original) {
    return Console("compressed = " + std::to_string(compressed) +
                   " -> original = " + std::to_string(original) + "\n");
}

// A VKT2 file: magic, little-endian original size, two bytes the tool must ignore, the stream.
std::string Vkt2(std::uint16_t original, const std::string& stream) {
    std::string file = "VKT2";
    return file + Bytes({original & 0xFF, original >> 8, 0xA5, 0x5A}) + stream;
}

// "abcabcabca": three literals, then one reference that overlaps the bytes it is producing.
const std::string kExample = Vkt2(10, Bytes({0x07, 'a', 'b', 'c', 0xEE, 0xF4}));
const std::string kDecoded = "abcabcabca";

// One entry left in the scratch directory; files compare by content, links by target.
struct Entry {
    enum Kind { kFile, kDir, kLink, kOther } kind;
    std::string data;
    bool operator==(const Entry&) const = default;
};
using Tree = std::map<std::string, Entry>;
Entry File(std::string bytes) {
    return {Entry::kFile, std::move(bytes)};
}
const Entry kDir = {Entry::kDir, {}};
const Entry kFifo = {Entry::kOther, {}};

// Keeps failure output readable when a file holds tens of kilobytes.
void PrintTo(const Entry& e, std::ostream* os) {
    *os << "{kind " << e.kind << ", " << e.data.size() << " bytes from "
        << ::testing::PrintToString(e.data.substr(0, 24)) << "}";
}

struct Result {
    int status;  // exit status, or 128 + signal number
    std::string out;
    std::string err;
    bool operator==(const Result&) const = default;
};

void PrintTo(const Result& r, std::ostream* os) {
    *os << "{status " << r.status << ", out " << ::testing::PrintToString(r.out) << ", err "
        << ::testing::PrintToString(r.err) << "}";
}

struct RunOptions {
    const char* tool = VKT2X_PATH;
    bool merge_output = false;  // stdout and stderr into one file, read back as `out`
    // The rest work on Linux only.
    std::uint64_t file_size_limit = 0;  // none when 0
    // Called for each renameat2 the tool makes, with the call's index; returns 0 to let the
    // call go ahead or an errno value for it to fail with.
    std::function<int(int)> on_rename;
};

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

#ifndef _WIN32
// Routes the child's renameat2 calls to a listener the parent answers, so a test can fail or
// race one particular rename without root. Runs in the forked child.
int InterceptRenames() {
    struct sock_filter filter[] = {
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(struct seccomp_data, nr)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, __NR_renameat2, 0, 1),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_USER_NOTIF),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
    };
    struct sock_fprog prog = {static_cast<unsigned short>(std::size(filter)), filter};
    if (prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0) return -1;
    return static_cast<int>(
        syscall(SYS_seccomp, SECCOMP_SET_MODE_FILTER, SECCOMP_FILTER_FLAG_NEW_LISTENER, &prog));
}

// Passes one descriptor over a Unix socket (the listener only exists in the child).
struct FdMessage {
    char byte = 0;
    iovec iov = {&byte, 1};
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))] = {};
    msghdr msg = {nullptr, 0, &iov, 1, control, sizeof control, 0};

    void Send(int sock, int fd) {
        cmsghdr* c = CMSG_FIRSTHDR(&msg);
        c->cmsg_level = SOL_SOCKET;
        c->cmsg_type = SCM_RIGHTS;
        c->cmsg_len = CMSG_LEN(sizeof(int));
        std::memcpy(CMSG_DATA(c), &fd, sizeof fd);
        (void)sendmsg(sock, &msg, 0);
    }
    int Receive(int sock) {
        if (recvmsg(sock, &msg, 0) <= 0) return -1;
        const cmsghdr* c = CMSG_FIRSTHDR(&msg);
        if (c == nullptr || c->cmsg_type != SCM_RIGHTS) return -1;
        int fd = -1;
        std::memcpy(&fd, CMSG_DATA(c), sizeof fd);
        return fd;
    }
};

// Answers intercepted renames until no task uses the filter any more.
void ServeRenames(int listener, const std::function<int(int)>& on_rename) {
    for (int call = 0;;) {
        pollfd p = {listener, POLLIN, 0};
        if (poll(&p, 1, -1) < 0 && errno == EINTR) continue;
        if ((p.revents & POLLIN) == 0) return;
        seccomp_notif req = {};
        if (ioctl(listener, SECCOMP_IOCTL_NOTIF_RECV, &req) != 0) continue;
        seccomp_notif_resp resp = {};
        resp.id = req.id;
        const int error = on_rename(call++);
        if (error == 0) resp.flags = SECCOMP_USER_NOTIF_FLAG_CONTINUE;
        resp.error = -error;
        (void)ioctl(listener, SECCOMP_IOCTL_NOTIF_SEND, &resp);
    }
}

#endif

class Scratch : public ::testing::Test {
  protected:
    void SetUp() override {
        static std::atomic<unsigned> serial{0};
        std::random_device entropy;
        do {
            root_ = fs::temp_directory_path() /
                    ("vkt2x-e2e-" + std::to_string(entropy()) + "-" + std::to_string(serial++));
        } while (!fs::create_directory(root_));
        work_ = root_ / "work";
        fs::create_directory(work_);
    }
    void TearDown() override {
        if (!root_.empty()) fs::remove_all(root_);
    }

    void Write(const std::string& rel, const std::string& bytes) {
        fs::create_directories((work_ / rel).parent_path());
        std::ofstream(work_ / rel, std::ios::binary) << bytes;
    }

    // Everything in the scratch directory, without following links.
    Tree Files() const {
        Tree tree;
        for (const auto& item : fs::recursive_directory_iterator(work_)) {
            Entry& e = tree[item.path().lexically_relative(work_).generic_string()];
            const fs::file_status st = item.symlink_status();
            if (fs::is_symlink(st)) {
                e = {Entry::kLink, fs::read_symlink(item.path()).string()};
            } else if (fs::is_directory(st)) {
                e = kDir;
            } else if (fs::is_regular_file(st)) {
                e = File(ReadFile(item.path()));
            } else {
                e = kFifo;
            }
        }
        return tree;
    }

    // Empties the scratch directory between the cases of a table-driven test.
    void Clear() {
        for (const auto& item : fs::directory_iterator(work_)) fs::remove_all(item.path());
    }

#ifdef _WIN32
    // Quotes one argument for the command line that CreateProcess hands to the C runtime.
    static std::string Quote(const std::string& arg) {
        if (!arg.empty() && arg.find_first_of(" \t\"") == std::string::npos) return arg;
        std::string q = "\"";
        std::size_t slashes = 0;
        for (const char c : arg) {
            if (c == '\\') {
                ++slashes;
                continue;
            }
            q.append(c == '"' ? 2 * slashes + 1 : slashes, '\\');
            slashes = 0;
            q += c;
        }
        return q.append(2 * slashes, '\\') + "\"";
    }

    Result Run(const std::vector<std::string>& args, const RunOptions& options = {}) {
        EXPECT_TRUE(options.file_size_limit == 0 && !options.on_rename) << "Linux only";
        std::string command = Quote(fs::absolute(options.tool).make_preferred().string());
        for (const std::string& arg : args) {
            command += ' ';
            command += Quote(arg);
        }
        const fs::path out_path = root_ / "stdout";
        const fs::path err_path = root_ / "stderr";
        SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
        auto create = [&](const fs::path& path) {
            return CreateFileA(path.string().c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit,
                               CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        };
        const HANDLE in = CreateFileA("NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                      &inherit, OPEN_EXISTING, 0, nullptr);
        const HANDLE out = create(out_path);
        const HANDLE err = options.merge_output ? out : create(err_path);
        STARTUPINFOA startup = {};
        startup.cb = sizeof startup;
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdInput = in;
        startup.hStdOutput = out;
        startup.hStdError = err;
        PROCESS_INFORMATION process = {};
        const BOOL started = CreateProcessA(nullptr, command.data(), nullptr, nullptr, TRUE, 0,
                                            nullptr, work_.string().c_str(), &startup, &process);
        CloseHandle(in);
        CloseHandle(out);
        if (!options.merge_output) CloseHandle(err);
        DWORD status = 0;
        if (!started || WaitForSingleObject(process.hProcess, 20000) != WAIT_OBJECT_0 ||
            !GetExitCodeProcess(process.hProcess, &status)) {
            ADD_FAILURE() << "could not run " << command;
            status = static_cast<DWORD>(-1);
        }
        if (started) {
            CloseHandle(process.hProcess);
            CloseHandle(process.hThread);
        }
        return {static_cast<int>(status), ReadFile(out_path),
                options.merge_output ? "" : ReadFile(err_path)};
    }
#else
    Result Run(const std::vector<std::string>& args, const RunOptions& options = {}) {
        std::vector<std::string> words = {options.tool};
        words.insert(words.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (std::string& w : words) argv.push_back(w.data());
        argv.push_back(nullptr);
        const std::string work = work_.string();
        const std::string out_path = (root_ / "stdout").string();
        const std::string err_path = (root_ / "stderr").string();
        int sockets[2] = {-1, -1};
        if (options.on_rename && socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, sockets) != 0) {
            ADD_FAILURE() << "socketpair: " << std::strerror(errno);
            return {-1, {}, {}};
        }

        const pid_t pid = fork();
        if (pid == 0) {
            const int in = open("/dev/null", O_RDONLY);
            const int out = open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            const int err = options.merge_output
                                ? out
                                : open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            if (in < 0 || out < 0 || err < 0 || dup2(in, 0) < 0 || dup2(out, 1) < 0 ||
                dup2(err, 2) < 0 || chdir(work.c_str()) != 0) {
                _exit(125);
            }
            if (options.file_size_limit != 0) {
                const rlimit limit = {options.file_size_limit, options.file_size_limit};
                // Ignoring SIGXFSZ turns an oversized write into an EFBIG error instead.
                if (setrlimit(RLIMIT_FSIZE, &limit) != 0 || signal(SIGXFSZ, SIG_IGN) == SIG_ERR) {
                    _exit(125);
                }
            }
            if (options.on_rename) {
                const int listener = InterceptRenames();
                if (listener < 0) _exit(125);
                FdMessage().Send(sockets[1], listener);
                close(listener);
            }
            alarm(10);  // a hung tool fails its test rather than stalling the suite
            execv(argv[0], argv.data());
            _exit(126);
        }
        if (options.on_rename) {
            close(sockets[1]);
            const int listener = FdMessage().Receive(sockets[0]);
            close(sockets[0]);
            if (listener >= 0) ServeRenames(listener, options.on_rename);
            if (listener >= 0) close(listener);
        }
        int wstatus = 0;
        if (pid < 0 || waitpid(pid, &wstatus, 0) != pid) {
            ADD_FAILURE() << "could not run " << options.tool;
            return {-1, {}, {}};
        }
        const int status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : 128 + WTERMSIG(wstatus);
        return {status, ReadFile(out_path), options.merge_output ? "" : ReadFile(err_path)};
    }
#endif

    fs::path root_;
    fs::path work_;
};

// ---------------------------------------------------------------------------------------------
using Arguments = Scratch;

TEST_F(Arguments, WrongCountPrintsUsageAndTouchesNothing) {
    Write("a", kExample);
    Write("b", kExample);
    for (const auto& args :
         std::vector<std::vector<std::string>>{{}, {"a", "b"}, {"a", "b", "a"}}) {
        SCOPED_TRACE(args.size());
        EXPECT_EQ(Run(args), (Result{1, "", kUsage}));
        EXPECT_EQ(Files(), (Tree{{"a", File(kExample)}, {"b", File(kExample)}}));
    }
}

// ---------------------------------------------------------------------------------------------
using InputErrors = Scratch;

TEST_F(InputErrors, MissingOrFolderInputIsReportedAndNothingIsCreated) {
    fs::create_directory(work_ / "folder");
    EXPECT_EQ(Run({"absent"}), (Result{1, "", kCannotOpen}));
    EXPECT_EQ(Run({"folder"}), (Result{1, "", kFolderInput}));
    EXPECT_EQ(Files(), (Tree{{"folder", kDir}}));
}

TEST_F(InputErrors, FilesWithoutTheMagicAreRefusedBeforeAnythingIsWritten) {
    const std::string rest = kExample.substr(4);
    for (const std::string& input :
         {std::string(), std::string("VKT"), "vkt2" + rest, "VKT1" + rest, " " + kExample}) {
        SCOPED_TRACE(::testing::PrintToString(input));
        Clear();
        Write("in", input);
        // A stale temp file must survive: the refusal comes before the temp file is made.
        Write("in.$$$", "left over");
        EXPECT_EQ(Run({"in"}), (Result{1, "", kNotVkt2}));
        EXPECT_EQ(Files(), (Tree{{"in", File(input)}, {"in.$$$", File("left over")}}));
    }
}

// ---------------------------------------------------------------------------------------------
using Decoding = Scratch;

TEST_F(Decoding, StreamsDecodeAndTheInputBecomesTheBackup) {
    const struct {
        const char* what;
        std::string file;
        std::string decoded;
    } cases[] = {
        {"worked example", kExample, kDecoded},
        // Past the end of a short file the stream reads as zeros: flag 0 and references to
        // three zero bytes.
        {"zeros read past the end of the file", Vkt2(0x0110, ""), std::string(272, '\0')},
        {"largest size from six bytes", Vkt2(0xFFFF, "").substr(0, 6), std::string(65535, '\0')},
        {"size byte missing from the file reads zero", "VKT2\x05", std::string(5, '\0')},
        {"magic alone", "VKT2", ""},
        {"empty original", Vkt2(0, "").substr(0, 6), ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Clear();
        Write("data.bin", c.file);
        EXPECT_EQ(Run({"data.bin"}), (Result{0, Stats(c.file.size(), c.decoded.size()), ""}));
        EXPECT_EQ(Files(), (Tree{{"data.bin", File(c.decoded)}, {"data.bin.BAK", File(c.file)}}));
    }
}

// A 70,000-byte file: only the first 65,536 bytes are loaded, so the stream has 65,528. Groups
// of a 0xFF flag and eight literals end in a last group of seven literals at the very end, and
// the bytes after them must never be seen: 58,247 bytes decode, 58,248 need one byte too many.
TEST_F(Decoding, StreamIsCutAtTheLoadBufferEvenWhenTheFileGoesOn) {
    std::string stream;
    std::string decoded;
    for (int i = 0; i < 58247; ++i) {
        if (i % 8 == 0) stream += '\xFF';
        stream += static_cast<char>(i * 37 % 251);
        decoded += stream.back();
    }
    ASSERT_EQ(stream.size(), 65528u);
    for (const std::uint16_t original : {std::uint16_t{58247}, std::uint16_t{58248}}) {
        SCOPED_TRACE(original);
        Clear();
        const std::string file = Vkt2(original, stream) + std::string(4464, 'J');
        Write("big", file);
        Write("big.$$$", "stale");  // replaced on success, removed on failure
        if (original == decoded.size()) {
            EXPECT_EQ(Run({"big"}), (Result{0, Stats(65536, original), ""}));
            EXPECT_EQ(Files(), (Tree{{"big", File(decoded)}, {"big.BAK", File(file)}}));
        } else {
            EXPECT_EQ(Run({"big"}), (Result{1, Stats(65536, original), kTruncated}));
            EXPECT_EQ(Files(), (Tree{{"big", File(file)}}));
        }
    }
}

TEST_F(Decoding, DecodedFileIsRefusedButItsBackupCanBeDecodedAgain) {
    Write("data.bin", kExample);
    ASSERT_EQ(Run({"data.bin"}).status, 0);
    EXPECT_EQ(Run({"data.bin"}), (Result{1, "", kNotVkt2}));
    EXPECT_EQ(Files(), (Tree{{"data.bin", File(kDecoded)}, {"data.bin.BAK", File(kExample)}}));

    // Names are formed on the whole path, so the backup's own backup is NAME.BAK.BAK.
    EXPECT_EQ(Run({"data.bin.BAK"}), (Result{0, Stats(14, 10), ""}));
    EXPECT_EQ(Files(), (Tree{{"data.bin", File(kDecoded)},
                             {"data.bin.BAK", File(kDecoded)},
                             {"data.bin.BAK.BAK", File(kExample)}}));
}

TEST_F(Decoding, TempAndBackupLiveBesideAFileInAnotherDirectory) {
    Write("sub/dir/data.bin", kExample);
    Write("my file", kExample);
    for (const std::string& name :
         {std::string("sub/dir/data.bin"), (work_ / "my file").string()}) {
        EXPECT_EQ(Run({name}), (Result{0, Stats(14, 10), ""})) << name;
    }
    EXPECT_EQ(Files(), (Tree{{"my file", File(kDecoded)},
                             {"my file.BAK", File(kExample)},
                             {"sub", kDir},
                             {"sub/dir", kDir},
                             {"sub/dir/data.bin", File(kDecoded)},
                             {"sub/dir/data.bin.BAK", File(kExample)}}));
}

// ---------------------------------------------------------------------------------------------
using TempFile = Scratch;

TEST_F(TempFile, StaleRegularTempIsTruncatedAndReplaced) {
    Write("data.bin", kExample);
    Write("data.bin.$$$", std::string(100, '#'));
    EXPECT_EQ(Run({"data.bin"}), (Result{0, Stats(14, 10), ""}));
    EXPECT_EQ(Files(), (Tree{{"data.bin", File(kDecoded)}, {"data.bin.BAK", File(kExample)}}));
}

// Links and FIFOs need privileges or do not exist on Windows, so there only a folder is tried.
TEST_F(TempFile, NonRegularTempIsLeftAloneAndNothingIsRenamed) {
    const fs::path temp = work_ / "data.bin.$$$";
    struct Case {
        const char* what;
        std::function<void()> make;
        Tree left;  // what must still be there besides the input
    };
    std::vector<Case> cases = {
        {"directory",
         [&] { Write("data.bin.$$$/inside", "kept"); },
         {{"data.bin.$$$", kDir}, {"data.bin.$$$/inside", File("kept")}}},
    };
#ifndef _WIN32
    int reader = -1;
    cases.insert(cases.end(),
                 {
                     {"link to a regular file",
                      [&] {
                          Write("victim", "precious");
                          fs::create_symlink("victim", temp);
                      },
                      {{"data.bin.$$$", {Entry::kLink, "victim"}}, {"victim", File("precious")}}},
                     // Truncating a second name of the input would destroy the compressed data.
                     {"hard link to the input",
                      [&] { fs::create_hard_link(work_ / "data.bin", temp); },
                      {{"data.bin.$$$", File(kExample)}}},
                     // Opening a FIFO for writing waits for a reader: the tool must neither hang on
                     // one nor, once a reader is there, pour the data into it and rename it.
                     {"fifo with a reader",
                      [&] {
                          mkfifo(temp.c_str(), 0600);
                          reader = open(temp.c_str(), O_RDONLY | O_NONBLOCK);
                      },
                      {{"data.bin.$$$", kFifo}}},
                 });
#endif
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Clear();
        Write("data.bin", kExample);
        c.make();
        // One file for both streams shows the statistics line was flushed before the message.
        RunOptions merged;
        merged.merge_output = true;
        EXPECT_EQ(Run({"data.bin"}, merged), (Result{1, Stats(14, 10) + kCannotCreateTemp, ""}));
        Tree expected = c.left;
        expected["data.bin"] = File(kExample);
        EXPECT_EQ(Files(), expected);
    }
#ifndef _WIN32
    char byte;
    ASSERT_GE(reader, 0);
    EXPECT_EQ(read(reader, &byte, 1), 0) << "data went into the FIFO";
    close(reader);
#endif
}

TEST_F(TempFile, FailedWriteRemovesTheTempAndKeepsTheInput) {
    SKIP_ON_WINDOWS("Windows has no per-process file-size limit to make a write fail");
    const std::string file = Vkt2(0xFFFF, "").substr(0, 6);
    Write("data.bin", file);
    RunOptions small;
    small.file_size_limit = 4096;
    EXPECT_EQ(Run({"data.bin"}, small), (Result{1, Stats(6, 65535), kCannotWriteTemp}));
    EXPECT_EQ(Files(), (Tree{{"data.bin", File(file)}}));
}

// ---------------------------------------------------------------------------------------------
using Renames = Scratch;

TEST_F(Renames, ExistingBackupIsKeptAndBothRenamesAreStillTried) {
    Write("data.bin", kExample);
    Write("data.bin.BAK", "older backup");
    int calls = 0;
    RunOptions count;
#ifndef _WIN32  // counting the renames needs the Linux interception
    count.on_rename = [&](int) {
        ++calls;
        return 0;
    };
#endif
    EXPECT_EQ(Run({"data.bin"}, count), (Result{1, Stats(14, 10), kCannotRename}));
    if (count.on_rename) {
        EXPECT_EQ(calls, 2);
    }
    EXPECT_EQ(Files(), (Tree{{"data.bin", File(kExample)},
                             {"data.bin.$$$", File(kDecoded)},
                             {"data.bin.BAK", File("older backup")}}));
}

TEST_F(Renames, SecondRenameFailingLeavesNameAbsent) {
    SKIP_ON_WINDOWS(
        "provoking a rename failure here intercepts renameat2 with a Linux seccomp filter");
    Write("data.bin", kExample);
    RunOptions fail_second;
    fail_second.on_rename = [](int call) { return call == 1 ? EXDEV : 0; };
    EXPECT_EQ(Run({"data.bin"}, fail_second), (Result{1, Stats(14, 10), kCannotRename}));
    EXPECT_EQ(Files(), (Tree{{"data.bin.$$$", File(kDecoded)}, {"data.bin.BAK", File(kExample)}}));
}

// Without an atomic no-replace rename (old kernels, some file systems) the outcomes must be the
// same, an existing backup included.
TEST_F(Renames, SameOutcomesWithoutNoReplaceRename) {
    SKIP_ON_WINDOWS(
        "provoking a rename failure here intercepts renameat2 with a Linux seccomp filter");
    for (const int error : {ENOSYS, EINVAL}) {
        SCOPED_TRACE(std::strerror(error));
        RunOptions unsupported;
        unsupported.on_rename = [error](int) { return error; };
        Clear();
        Write("data.bin", kExample);
        EXPECT_EQ(Run({"data.bin"}, unsupported), (Result{0, Stats(14, 10), ""}));
        EXPECT_EQ(Files(), (Tree{{"data.bin", File(kDecoded)}, {"data.bin.BAK", File(kExample)}}));

        Clear();
        Write("data.bin", kExample);
        Write("data.bin.BAK", "older backup");
        EXPECT_EQ(Run({"data.bin"}, unsupported), (Result{1, Stats(14, 10), kCannotRename}));
        EXPECT_EQ(Files(), (Tree{{"data.bin", File(kExample)},
                                 {"data.bin.$$$", File(kDecoded)},
                                 {"data.bin.BAK", File("older backup")}}));
    }
}

// ---------------------------------------------------------------------------------------------
class Compress : public Scratch {
  protected:
    Result RunC(const std::vector<std::string>& args, RunOptions options = {}) {
        options.tool = VKT2C_PATH;
        return Run(args, options);
    }
};

std::string CompressStats(std::size_t original, std::size_t compressed) {
    return Console("original = " + std::to_string(original) +
                   " -> compressed = " + std::to_string(compressed) + "\n");
}

TEST_F(Compress, RoundTripThroughBothToolsGivesBackTheFile) {
    std::string prose;
    while (prose.size() < 30000) prose += "the mill wheel turned until the river ran to the sea; ";
    std::string mixed;
    for (int i = 0; i < 5000; ++i) mixed += static_cast<char>(i % 7 == 0 ? i * 131 % 256 : 0);
    const std::string cases[] = {"", "x", kDecoded, prose, mixed, std::string(65535, '\0')};
    for (const std::string& original : cases) {
        SCOPED_TRACE(original.size());
        Clear();
        Write("f", original);
        const Result packed = RunC({"f"});
        const std::string compressed = Files()["f"].data;
        EXPECT_EQ(packed, (Result{0, CompressStats(original.size(), compressed.size()), ""}));
        EXPECT_EQ(
            compressed.substr(0, 8),
            Vkt2(static_cast<std::uint16_t>(original.size()), "").substr(0, 6) + Bytes({0, 0}));
        EXPECT_EQ(Files(), (Tree{{"f", File(compressed)}, {"f.BAK", File(original)}}));

        fs::rename(work_ / "f.BAK", work_ / "original");
        EXPECT_EQ(Run({"f"}), (Result{0, Stats(compressed.size(), original.size()), ""}));
        EXPECT_EQ(Files(), (Tree{{"f", File(original)},
                                 {"f.BAK", File(compressed)},
                                 {"original", File(original)}}));
    }
}

TEST_F(Compress, RefusalsTouchNothing) {
    std::string noise;
    std::mt19937 rng(5);
    for (int i = 0; i < 60000; ++i) noise += static_cast<char>(rng());
    fs::create_directory(work_ / "folder");
    const struct {
        std::vector<std::string> args;
        std::string err;
    } cases[] = {
        {{}, Console("Usage: vkt2c (File)\n")},
        {{"small", "small"}, Console("Usage: vkt2c (File)\n")},
        {{"absent"}, kCannotOpen},
        {{"folder"}, kFolderInput},
        {{"65536"}, kTooLarge},
        // Encodes, but into more than the 65,536 bytes vkt2x would load.
        {{"noise"}, kTooLarge},
    };
    Write("small", "small");
    Write("65536", std::string(65536, 'a'));
    Write("noise", noise);
    const Tree before = Files();
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.args));
        EXPECT_EQ(RunC(c.args), (Result{1, "", c.err}));
        EXPECT_EQ(Files(), before);
    }
}

TEST_F(Compress, OutputFailuresReportLikeTheDecompressor) {
    const std::string original(40000, 'z');
    Write("f", original);
    Write("f.BAK", "older");
    const Result renamed = RunC({"f"});
    ASSERT_EQ(renamed.status, 1);
    EXPECT_EQ(renamed.err, kCannotRename);
    const std::string compressed = Files()["f.$$$"].data;
    EXPECT_EQ(renamed.out, CompressStats(original.size(), compressed.size()));
    EXPECT_EQ(Files(),
              (Tree{{"f", File(original)}, {"f.$$$", File(compressed)}, {"f.BAK", File("older")}}));

    Clear();
    Write("f", original);
    fs::create_directory(work_ / "f.$$$");
    EXPECT_EQ(RunC({"f"}), (Result{1, CompressStats(40000, compressed.size()), kCannotCreateTemp}));
    EXPECT_EQ(Files(), (Tree{{"f", File(original)}, {"f.$$$", kDir}}));

#ifndef _WIN32  // no per-process file-size limit on Windows
    Clear();
    Write("f", original);
    RunOptions small;
    small.file_size_limit = compressed.size() - 1;
    EXPECT_EQ(RunC({"f"}, small),
              (Result{1, CompressStats(40000, compressed.size()), kCannotWriteTemp}));
    EXPECT_EQ(Files(), (Tree{{"f", File(original)}}));
#endif
}

}  // namespace
