// A run: the walk, the files settled before any work, then the rest worked on by a few threads
// and reported in list order, so every file ends the same, and every line comes in the same
// order, whatever the number of workers.
#include "engine.hpp"

#include <algorithm>
#include <cerrno>
#include <map>
#include <optional>
#include <set>

#include "archive.hpp"
#include "job.hpp"
#include "jobs.hpp"
#include "mirror.hpp"
#include "platform.hpp"
#include "report.hpp"
#include "scan.hpp"
#include "undo.hpp"
#include "walk.hpp"

namespace vkt2::batch {

namespace {

// Whether --all copies the entry a walk skipped.
bool copies(const options& o, const entry& e) {
    return o.all && !o.out_dir.empty() && e.copyable &&
           (o.cmd == command::x || o.cmd == command::c);
}

// Settles before any work what would race if run side by side: the same file changed in place
// twice (the later name is skipped, with the first one as why), two inputs writing to one output,
// or an output that is an input of this run (the later one fails). Files are the same by identity,
// never by spelling; outputs are the same by the spelling the system finds them under.
std::vector<std::optional<file_result>> settle(const options& o, std::vector<entry>& files,
                                               const platform::folder* out, bool out_existed) {
    std::vector<std::optional<file_result>> settled;
    std::vector<entry> kept;
    std::set<platform::identity> inputs;
    for (const entry& e : files)
        if (e.id) inputs.insert(*e.id);
    std::map<platform::identity, std::string> seen;  // in place: each file by its first path
    std::map<std::string, std::string> outputs;
    const bool writes = o.cmd == command::x || o.cmd == command::c;
    for (entry& e : files) {
        std::optional<file_result> r;
        if (!e.problem.empty()) {
            r = failed(e.problem);
        } else if (!e.skip.empty() && !copies(o, e)) {
            r = skipped(e.skip);
        } else if (writes && !out && o.out_dir.empty()) {
            if (e.id) {
                const auto [at, fresh] = seen.emplace(*e.id, e.path);
                if (!fresh) r = skipped("the same file as " + shown(at->second, o.names));
            }
        } else if (writes && out) {
            const auto [at, fresh] = outputs.emplace(platform::spelling(e.relative), e.path);
            if (!fresh) {
                // Two names read alike are told apart by their bytes.
                const bool alike = shown(at->second, o.names) == shown(e.path, o.names);
                r = failed("same output as " +
                           shown(at->second, alike ? name_encoding::raw : o.names));
            }
        }
        settled.push_back(std::move(r));
        kept.push_back(std::move(e));
    }
    files = std::move(kept);
    // Two names spelled alike where one is a file and the other a folder: the file's output is
    // a folder of another output, and fails whatever the order; their bytes tell them apart.
    if (writes && out) {
        for (std::size_t i = 0; i < files.size(); ++i) {
            if (settled[i]) continue;
            const std::string below = platform::spelling(files[i].relative) + '/';
            const auto it = outputs.lower_bound(below);
            if (it != outputs.end() && it->first.starts_with(below))
                settled[i] =
                    failed("same output as a folder for " + shown(it->second, name_encoding::raw));
        }
    }
    // An output that already exists as an input: replacing it would change an input under the
    // run, and nothing of the output folder is an input. A folder made by this run holds none.
    if (writes && out && out_existed) {
        for (std::size_t i = 0; i < files.size(); ++i) {
            if (settled[i]) continue;
            auto here = platform::copy_folder(*out);
            const std::string& rel = files[i].relative;
            std::size_t start = 0;
            for (std::size_t slash; here && (slash = rel.find('/', start)) != std::string::npos;
                 start = slash + 1) {
                auto below =
                    platform::open_subfolder(*here, rel.substr(start, slash - start).c_str());
                if (below)
                    here = std::move(below->dir);
                else
                    here.reset();
            }
            const auto there =
                here ? platform::look(*here, rel.substr(start).c_str(), platform::follow_links::no)
                     : std::nullopt;
            if (!there || !inputs.count(there->id)) continue;
            const platform::identity& id = there->id;
            const std::string target = shown(join(o.out_dir, rel), o.names);
            settled[i] = failed(files[i].id == id ? target + " is the input itself"
                                                  : target + " is also an input of this run");
        }
    }
    return settled;
}

// The run's status once its jobs are done: a reader gone ends it as SIGPIPE would, before or
// while the summary is said.
int ending(const sink& to, reporter& report, bool complete) {
    if (to.broken_pipe()) return broken_pipe_status;
    const int status = report.finish();
    if (to.broken_pipe()) return broken_pipe_status;
    return complete ? status : 1;
}

// `vkt2 undo`: each pair reported once it and those before it are settled, then the summary,
// with no progress line. Pairs left alone are no failure.
int run_undo(const options& o, std::FILE* out, std::FILE* err,
             const std::function<bool()>& interrupted, const hooks& at) {
    sink to(out, err, [&] { return interrupted && interrupted(); });
    reporter report(o, to, false);
    const bool complete =
        undo_each(o, interrupted, at, [&](const undo_result& r) { report.undo(r); });
    return ending(to, report, complete);
}

}  // namespace

int run(const options& o, std::FILE* out, std::FILE* err, bool terminal,
        const std::function<bool()>& interrupted, const hooks& at) {
    platform::raise_descriptor_limit();
    if (o.cmd == command::undo) return run_undo(o, out, err, interrupted, at);
    if (o.cmd == command::scan) return run_scan(o, out, err, interrupted);
    std::optional<platform::identity> out_id;
    if (!o.out_dir.empty()) {
        if (auto existing = platform::open_folder(o.out_dir.c_str()))
            out_id = platform::identity_of(*existing);
    }
    walk_result w = walk(o.paths, out_id);
    // Outputs go under the names' UTF-8 spelling: settled below like any other collision.
    respell(w, o.names);
    if (at.after_walk) at.after_walk();

    sink to(out, err, [&] { return interrupted && interrupted(); });
    const auto stop = [&] { return to.broken_pipe() || (interrupted && interrupted()); };
    reporter report(o, to, terminal);
    std::vector<entry>& files = w.files;

    std::optional<platform::folder> out_root;
    std::string out_why;
    const bool writes = o.cmd == command::x || o.cmd == command::c;
    const bool any = std::any_of(files.begin(), files.end(), [&](const entry& e) {
        return e.problem.empty() && (e.skip.empty() || copies(o, e));
    });
    made_folders made;
    if (writes && !o.out_dir.empty() && any) {
        output_root opened = open_output(o.out_dir, !w.folders.empty());
        out_root = std::move(opened.folder);
        out_why = std::move(opened.why);
        if (opened.made) made[""] = *opened.made;
    }
    std::vector<std::optional<file_result>> results =
        settle(o, files, out_root ? &*out_root : nullptr, out_id.has_value());
    if (writes && !o.out_dir.empty() && !out_root) {
        for (auto& r : results)
            if (!r) r = failed(shown(o.out_dir, o.names) + ": " + out_why);
    }
    // The files to work on, in order; the rest are settled and are never run.
    std::vector<std::size_t> todo;
    for (std::size_t i = 0; i < results.size(); ++i)
        if (!results[i]) todo.push_back(i);

    const std::size_t n = files.size();
    std::vector<worker> workers(workers_for(o.jobs, todo.size()));
    const platform::folder* root = out_root ? &*out_root : nullptr;
    const bool complete = run_jobs({
        .count = n,
        .todo = todo,
        .workers = workers.size(),
        .work =
            [&](std::size_t i, std::size_t mine) {
                if (at.before_work) at.before_work(i);
                results[i] = workers[mine].run(o, files[i], root, interrupted);
            },
        .report =
            [&](std::size_t i) {
                const file_result r = std::move(*results[i]);
                results[i].reset();
                for (const made_folder& f : r.made) made.emplace(f.relative, f.id);
                bool going = true;
                if (r.archive)
                    going = read_archive(o, files[i], root, report, stop);
                else
                    report.file(files[i], r);
                report.progress(i + 1, n);
                return going;
            },
        .stop = stop,
        .waiting = [&](std::size_t done) { report.progress(done, n); },
    });
    if (out_root) finish_folders(*out_root, made, w.folders);
    return ending(to, report, complete);
}

}  // namespace vkt2::batch
