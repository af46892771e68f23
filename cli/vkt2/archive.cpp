// Members are read in one pass through the archive, by the thread that reports them, so their
// lines come in archive order among the files of the run. Only a member that starts with
// "VKT2" is read further, and never past the 65,537 bytes a file load would take: a member
// that claims or unpacks to any size costs no more memory than a small one.
#include "archive.hpp"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <optional>
#include <vector>

#include "replace.hpp"
#include "report.hpp"
#include "verdict.hpp"
#include "vkt2/vkt2.hpp"

#ifdef VKT2_HAVE_LIBARCHIVE
#include <archive.h>
#include <archive_entry.h>
#ifndef _WIN32
#include <clocale>
#endif
#endif

namespace vkt2::batch {

std::string member_path(const std::string& name) {
    std::string out;
    std::size_t start = 0;
    while (start <= name.size()) {
        std::size_t slash = name.find('/', start);
        if (slash == std::string::npos) slash = name.size();
        const std::string part = name.substr(start, slash - start);
        start = slash + 1;
        if (part.empty() || part == ".") continue;
        // Archives made on Windows separate with backslashes, and Windows takes them so when
        // the name is opened: "..\\x" leads out there, so it is refused everywhere.
        if (part == ".." || part.starts_with("..\\") || part.ends_with("\\..") ||
            part.find("\\..\\") != std::string::npos)
            return {};
        out += (out.empty() ? "" : "/") + part;
    }
    return out;
}

#ifndef VKT2_HAVE_LIBARCHIVE

std::string archive_support() {
    return "not built in";
}

bool archives_supported() {
    return false;
}

std::string archive_kind(const entry&, std::span<const std::uint8_t> head) {
    // The signatures of the archives people meet, enough to say what cannot be read.
    struct signature {
        std::size_t at;
        const char* bytes;
        std::size_t size;
        const char* kind;
    };
    static const signature known[] = {
        {0, "PK\3\4", 4, "zip"},
        {0, "PK\5\6", 4, "zip"},
        {0, "7z\xBC\xAF\x27\x1C", 6, "7-Zip"},
        {32769, "CD001", 5, "ISO9660"},
        {2, "-lh", 3, "lha"},
        {2, "-lz", 3, "lha"},
        {0, "MSCF\0\0\0\0", 8, "cab"},
        {257, "ustar", 5, "tar"},
        {0, "Rar!\x1A\x07", 6, "rar"},
        {0, "!<arch>\n", 8, "ar"},
    };
    for (const signature& s : known) {
        if (head.size() >= s.at + s.size && std::memcmp(head.data() + s.at, s.bytes, s.size) == 0)
            return s.kind;
    }
    return {};
}

bool read_archive(const options&, const entry& e, const platform::folder*, reporter& report,
                  const std::function<bool()>&) {
    report.file(e, failed("an archive; this vkt2 was built without archive support"));
    return true;
}

bool read_archive_image(const options& o, const entry& e, std::span<const std::uint8_t>,
                        reporter& report, const std::function<bool()>& stop) {
    return read_archive(o, e, nullptr, report, stop);
}

#else

std::string archive_support() {
    return archive_version_details();
}

bool archives_supported() {
    return true;
}

namespace {

// The error libarchive gives data that no format it reads takes.
#ifdef EFTYPE
constexpr int unrecognised = EFTYPE;
#else
constexpr int unrecognised = EILSEQ;
#endif

struct archive_closer {
    void operator()(archive* a) const { archive_read_free(a); }
};
using archive_ptr = std::unique_ptr<archive, archive_closer>;

// Names are turned into UTF-8 while it lives, on this thread alone: LZH names from CP932, 7z's
// from UTF-16. Where the system has no UTF-8 locale, such names cannot be read.
class utf8_names {
  public:
#ifndef _WIN32
    utf8_names() : mine_(newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(0))) {
        if (mine_) before_ = uselocale(mine_);
    }
    ~utf8_names() {
        if (!mine_) return;
        uselocale(before_);
        freelocale(mine_);
    }

  private:
    locale_t mine_;
    locale_t before_ = static_cast<locale_t>(0);
#endif
};

// The formats and filters that are read from memory alone: no format that names other files
// (mtree), no filter that runs a program.
archive_ptr reader() {
    archive_ptr a(archive_read_new());
    if (!a) return a;
    for (auto add : {archive_read_support_format_7zip, archive_read_support_format_ar,
                     archive_read_support_format_cab, archive_read_support_format_cpio,
                     archive_read_support_format_iso9660, archive_read_support_format_lha,
                     archive_read_support_format_rar, archive_read_support_format_rar5,
                     archive_read_support_format_tar, archive_read_support_format_xar,
                     archive_read_support_format_zip, archive_read_support_filter_gzip,
                     archive_read_support_filter_bzip2, archive_read_support_filter_compress,
                     archive_read_support_filter_xz, archive_read_support_filter_lzma,
                     archive_read_support_filter_lzip, archive_read_support_filter_zstd,
                     archive_read_support_filter_lz4})
        static_cast<void>(add(a.get()));
    // LZH archivers wrote names in the code page of the Japanese Windows they ran on.
    static_cast<void>(archive_read_set_format_option(a.get(), "lha", "hdrcharset", "CP932"));
    return a;
}

std::string why(archive* a) {
    if (const char* text = archive_error_string(a)) return text;
    const int error = archive_errno(a);
    return error > 0 ? platform::reason(error) : "damaged, or cut short";
}

// Reads until `buffer` is full or the member ends; nothing on an error, and then `fatal` says
// whether the archive can be read no further.
std::optional<std::size_t> read_data(archive* a, std::span<std::uint8_t> buffer,
                                     bool* fatal = nullptr) {
    std::size_t got = 0;
    while (got < buffer.size()) {
        const la_ssize_t n = archive_read_data(a, buffer.data() + got, buffer.size() - got);
        if (n < 0 && fatal) *fatal = n == ARCHIVE_FATAL;
        if (n < 0) return std::nullopt;
        if (n == 0) break;
        got += static_cast<std::size_t>(n);
    }
    return got;
}

// The member's attributes for what is written from it: its mode and dates, within what the
// archive file itself allows.
source member_source(archive_entry* m, const platform::attributes& host) {
    source s;
    s.attributes = host;
    using mode_bits = decltype(s.attributes.st_mode);
    const auto perm = static_cast<mode_bits>(archive_entry_perm(m));
    s.attributes.st_mode = static_cast<mode_bits>((host.st_mode & ~mode_bits{07777}) |
                                                  (perm & host.st_mode & mode_bits{0777}));
#ifdef _WIN32
    s.attributes.st_mtime = archive_entry_mtime(m);
    s.attributes.st_atime =
        archive_entry_atime_is_set(m) ? archive_entry_atime(m) : s.attributes.st_mtime;
#else
    s.attributes.st_mtim = {archive_entry_mtime(m), archive_entry_mtime_nsec(m)};
    s.attributes.st_atim = archive_entry_atime_is_set(m)
                               ? timespec{archive_entry_atime(m), archive_entry_atime_nsec(m)}
                               : s.attributes.st_mtim;
#endif
    s.result = source::status::loaded;
    return s;
}

class members {
  public:
    members(const options& o, const entry& e, const platform::folder* out,
            const platform::attributes& host, reporter& report)
        : o_(o),
          e_(e),
          out_(out),
          host_(host),
          report_(report),
          buffer_(max_file_size + 1),
          decoded_(max_original_size) {}

    bool all(archive* a, const std::function<bool()>& stop);

  private:
    file_result member(archive* a, archive_entry* m, const entry& me, bool& fatal);
    file_result decode(const entry& me, archive_entry* m, std::size_t got, std::uint64_t whole);
    file_result write(const entry& me, archive_entry* m, std::span<const std::uint8_t> data,
                      archive* copy_from);

    const options& o_;
    const entry& e_;
    const platform::folder* out_;
    const platform::attributes& host_;
    reporter& report_;
    std::vector<std::uint8_t> buffer_, decoded_;
    const std::function<bool()>* stop_ = nullptr;
};

bool members::all(archive* a, const std::function<bool()>& stop) {
    stop_ = &stop;
    for (;;) {
        if (stop && stop()) return false;
        archive_entry* m = nullptr;
        const int status = archive_read_next_header(a, &m);
        if (status == ARCHIVE_EOF) return true;
        if (status < ARCHIVE_WARN) {
            report_.file(e_, failed("cannot read the archive: " + why(a)));
            return true;
        }
        const char* utf8 = archive_entry_pathname_utf8(m);
        const char* raw = archive_entry_pathname(m);
        const std::string name = utf8 ? utf8 : raw ? raw : "";
        if (archive_entry_filetype(m) == AE_IFDIR) continue;
        entry me;
        me.path = e_.path + "/" + name;
        const std::string path = member_path(name);
        if (path.empty()) {
            report_.file(me, failed("a name that leads out of the archive; left alone"));
            continue;
        }
        me.path = e_.path + "/" + path;
        me.relative = e_.relative + "/" + readable(path, o_.names);
        bool fatal = false;
        report_.file(me, member(a, m, me, fatal));
        if (fatal) return true;
    }
}

file_result members::member(archive* a, archive_entry* m, const entry& me, bool& fatal) {
    const bool copying = o_.all && out_;
    if (archive_entry_hardlink(m) || archive_entry_filetype(m) == AE_IFLNK)
        return skipped(reasons::link);
    if (archive_entry_filetype(m) != AE_IFREG) return skipped(reasons::special);
    const auto head = read_data(a, std::span(buffer_).first(4), &fatal);
    if (!head) return failed("cannot read: " + why(a));
    if (*head < 4 || std::memcmp(buffer_.data(), "VKT2", 4) != 0) {
        if (!copying) return skipped(reasons::not_vkt2);
        file_result r = write(me, m, std::span(buffer_).first(*head), a);
        if (r.how == file_result::state::done) r.how = file_result::state::copied;
        r.reason = reasons::not_vkt2;
        return r;
    }
    const auto rest = read_data(a, std::span(buffer_).subspan(4), &fatal);
    if (!rest) return failed("cannot read: " + why(a));
    const std::size_t got = 4 + *rest;
    std::uint64_t whole = got;
    // The size of a longer member, for l: as stored, or else counted without keeping it.
    if (got > max_file_size && o_.cmd == command::l) {
        if (archive_entry_size_is_set(m)) {
            whole = static_cast<std::uint64_t>(archive_entry_size(m));
        } else {
            for (std::optional<std::size_t> n; (n = read_data(a, decoded_)) && *n > 0;) whole += *n;
        }
    }
    return decode(me, m, got, whole);
}

file_result members::decode(const entry& me, archive_entry* m, std::size_t got,
                            std::uint64_t whole) {
    const std::span<const std::uint8_t> file(buffer_.data(), std::min(got, max_file_size));
    file_result r;
    r.in = file.size();
    r.out = decoded_size(file).value_or(0);
    if (o_.cmd != command::l && !(o_.zero_fill && o_.cmd != command::t)) {
        verdict v = test_file(std::span<const std::uint8_t>(buffer_.data(), got));
        if (!v.failure.empty()) return failed(v.failure);
        if (o_.cmd == command::t) r.notes = std::move(v.warnings);
    }
    if (o_.cmd == command::t) return r;
    if (o_.cmd == command::l) {
        r.in = static_cast<std::size_t>(whole);
        return r;
    }
    const std::span<std::uint8_t> decoded(decoded_.data(), r.out);
    if (decompress_into(file, decoded).status != file_status::ok)
        return failed("the stream needs bytes past the first 65,536; it cannot be decoded");
    if (o_.cmd == command::cat) {
        r.data.assign(decoded.begin(), decoded.end());
        return r;
    }
    file_result w = write(me, m, decoded, nullptr);
    if (w.how != file_result::state::done) return w;
    return r;
}

// Writes `data` as the member's output under the output folder, then, for a copy, the rest of
// the member as it comes from `copy_from`.
file_result members::write(const entry& me, archive_entry* m, std::span<const std::uint8_t> data,
                           archive* copy_from) {
    if (!out_) return failed("an archive is read, never changed: x -o DIR writes its members");
    const std::string target = join(o_.out_dir, me.relative);
    // Folders made here copy none the walk saw: they stay private to the user.
    std::vector<made_folder> made;
    const output_place place = output_folder(*out_, me.relative, o_, made);
    if (!place) return failed(place.why);
    const platform::folder* folder = &place.folder();
    const std::string& leaf = place.leaf;
    const source input = member_source(m, host_);
    replacement output(input, *folder, leaf, o_.force);
    replacement::outcome how;
    std::string read_error;
    if (!copy_from) {
        how = output.commit(data);
    } else {
        bool first = true;
        how = output.commit_read(
            [&](std::span<std::uint8_t> chunk) -> std::optional<std::size_t> {
                if (std::exchange(first, false)) {
                    std::copy(data.begin(), data.end(), chunk.begin());
                    return data.size();
                }
                // A long copy ends at an interrupt, its temporary file removed.
                if (*stop_ && (*stop_)()) {
                    read_error = "interrupted";
                    return std::nullopt;
                }
                const auto n = read_data(copy_from, chunk);
                if (!n) read_error = why(copy_from);
                return n;
            },
            decoded_);
    }
    if (how == replacement::outcome::read_failed && !read_error.empty())
        return failed("cannot read: " + read_error);
    if (how != replacement::outcome::done)
        return failed(commit_failure(output, how, {target, false, o_.force, o_.names}));
    file_result r;
    r.in = r.out = static_cast<std::size_t>(output.written());
    return r;
}

}  // namespace

std::string archive_kind(const entry& e, std::span<const std::uint8_t>) {
    auto dir = e.folder ? platform::copy_folder(*e.folder) : std::nullopt;
    if (!dir) return {};
    platform::attributes info;
    const platform::file f = platform::open_input(*dir, e.name.c_str(), info, {.follow = e.named});
    if (!f) return {};
    const utf8_names names;
    const archive_ptr a = reader();
    if (!a) return {};
    archive_entry* m = nullptr;
    int first = ARCHIVE_FATAL;
    if (archive_read_open_fd(a.get(), f.get(), 65536) == ARCHIVE_OK)
        first = archive_read_next_header(a.get(), &m);
    // A format that finds no member at all proves nothing: a plain file opening with a block of
    // zeros reads as an empty tar, and must stay a file that t can fail.
    if (first == ARCHIVE_EOF) return {};
    // A format took the file even when its first member cannot be read: a damaged archive. So
    // is data that a compression filter took and that broke before any format could tell.
    if (archive_format(a.get()) != 0) return archive_format_name(a.get());
    const int error = archive_errno(a.get());
    return error != 0 && error != unrecognised ? "compressed" : "";
}

bool read_archive(const options& o, const entry& e, const platform::folder* out, reporter& report,
                  const std::function<bool()>& stop) {
    auto dir = e.folder ? platform::copy_folder(*e.folder) : std::nullopt;
    platform::attributes info{};
    platform::file f;
    if (dir) f = platform::open_input(*dir, e.name.c_str(), info, {.follow = e.named});
    if (!f) {
        report.file(e, failed("cannot open" + because(errno)));
        return true;
    }
    const utf8_names names;
    const archive_ptr a = reader();
    if (!a) throw std::bad_alloc();
    if (archive_read_open_fd(a.get(), f.get(), 65536) != ARCHIVE_OK) {
        report.file(e, failed("cannot read the archive: " + why(a.get())));
        return true;
    }
    return members(o, e, out, info, report).all(a.get(), stop);
}

bool read_archive_image(const options& o, const entry& e, std::span<const std::uint8_t> image,
                        reporter& report, const std::function<bool()>& stop) {
    const utf8_names names;
    const archive_ptr a = reader();
    if (!a) throw std::bad_alloc();
    if (archive_read_open_memory(a.get(), image.data(), image.size()) != ARCHIVE_OK) {
        report.file(e, failed("cannot read the archive: " + why(a.get())));
        return true;
    }
    const platform::attributes none{};
    return members(o, e, nullptr, none, report).all(a.get(), stop);
}

#endif

}  // namespace vkt2::batch
