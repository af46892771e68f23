// Each pair is proved from its own bytes, then restored holding NAME.$$$ (the lock an in-place
// x or c on NAME holds too) by exchanging the two names and looking that each now holds what the
// check proved. Nothing is rewritten; nothing is removed but the lock and the proved file.
#include "undo.hpp"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <span>

#include "job.hpp"
#include "jobs.hpp"
#include "replace.hpp"
#include "shown.hpp"
#include "vkt2/vkt2.hpp"
#include "walk.hpp"

namespace vkt2::batch {

namespace {

using outcome = undo_result::outcome;
using undoing = undo_result::undoing;

// NAME.BAK and NAME, by name in the folder the walk opened.
struct pair_files {
    std::shared_ptr<const platform::folder> folder;
    std::string backup, target;
    bool seen = false;  // the walk saw the backup, so it may go before it is checked
    name_encoding names = name_encoding::raw;  // how messages show the names
};

// One side of a pair as the check saw it.
struct side {
    source file;
    platform::identity id;
};

undo_result settle(undo_result r, outcome how, std::string reason) {
    r.how = how;
    r.reason = std::move(reason);
    return r;
}

// Loads `name` without following a link. Nothing, with `r` settled, when it cannot be a side of
// the tool's pair; `what` is NAME as shown for the target, empty for the backup itself.
std::optional<side> load_side(const pair_files& p, const std::string& name,
                              std::span<std::uint8_t> buffer, const std::string& what,
                              undo_result& r) {
    const auto is = [&](const char* text) { return what.empty() ? text : what + " is " + text; };
    const std::string which = what.empty() ? "" : " " + what;
    auto dir = platform::copy_folder(*p.folder);
    if (!dir) {
        r = settle(r, outcome::failed, "cannot open" + because(errno));
        return std::nullopt;
    }
    side s{load_source(std::move(*dir), name, buffer, false), {}};
    const int e = s.file.error;
    if (s.file.result == source::status::cannot_open) {
        if (e == ENOENT && !what.empty())
            r = settle(r, outcome::left_alone, "no " + what + " beside it");
        else if (e == ENOENT && p.seen)  // another undo may have restored it meanwhile
            r = settle(r, outcome::left_alone, "gone since the walk");
        else if (e == ELOOP || e == EINVAL)
            r = settle(r, outcome::left_alone, is(e == ELOOP ? "a link" : "not a regular file"));
        else
            r = settle(r, outcome::failed, "cannot open" + which + because(e));
        return std::nullopt;
    }
    if (s.file.result == source::status::cannot_read) {
        r = e == EISDIR ? settle(r, outcome::left_alone, is("not a regular file"))
                        : settle(r, outcome::failed, "cannot read" + which + because(e));
        return std::nullopt;
    }
    const auto seen = platform::look(*p.folder, name.c_str(), platform::follow_links::no);
    if (seen) s.id = seen->id;
    if (!seen || seen->type != platform::kind::file) {
        r = settle(r, outcome::left_alone, is("not a regular file"));
        return std::nullopt;
    }
    return s;
}

// Which in-place run left NAME.BAK `bak` beside NAME `name`, if either did. `scratch` holds
// max_original_size bytes.
undoing prove(std::span<const std::uint8_t> bak, std::span<const std::uint8_t> name,
              std::span<std::uint8_t> scratch) {
    // x made NAME of the backup's bytes by the loader's rules: the first max_file_size count,
    // and with --zero-fill a stream cut short reads zeros.
    const auto packed = bak.first(std::min(bak.size(), max_file_size));
    const auto size = decoded_size(packed);
    if (size && *size == name.size() &&
        decompress_into(packed, scratch.first(*size), decoding::zero_fill).status ==
            file_status::ok &&
        std::equal(name.begin(), name.end(), scratch.begin()))
        return undoing::x;
    // c writes the one encoding of its input: any other VKT2 file that decodes to the backup (an
    // original from another encoder, say) is not c's work, and its bytes would be lost.
    if (bak.size() <= max_original_size && decoded_size(name) == bak.size()) {
        const vkt2::file_result encoded = compress(bak);
        if (encoded && std::ranges::equal(encoded.bytes, name)) return undoing::c;
    }
    return undoing::none;
}

// True when `name` is still the file the check loaded, unchanged.
bool still(const platform::folder& dir, const std::string& name, const side& was) {
    const auto seen = platform::look(dir, name.c_str(), platform::follow_links::no);
    if (!seen || seen->id != was.id) return false;
    platform::attributes now;
    const platform::file f = platform::open_input(dir, name.c_str(), now, {.follow = false});
    return f && platform::unchanged(was.file.attributes, now);
}

// NAME.BAK and NAME trade names in one step, so nothing saved onto NAME at any moment is replaced:
// a file that came since the check now stands at NAME.BAK, the look after the exchange finds it,
// and the names are traded back. Only the proved file, then at NAME.BAK, is removed.
undo_result exchanged(const platform::folder& dir, const pair_files& p, const side& bak,
                      const side& name, undo_result r, const renamer& ops) {
    const bool backup_in = still(dir, p.target, bak), undone_out = still(dir, p.backup, name);
    if (backup_in && undone_out) {
        if (ops.remove(dir, p.backup.c_str())) {
            r.how = outcome::restored;
            return r;
        }
        return settle(r, outcome::failed,
                      "restored to " + shown(r.target, p.names) +
                          ", but cannot remove what was there" + because(errno) + "; it is " +
                          shown(r.path, p.names) + " now");
    }
    const std::string why = undone_out ? "changed since it was checked"
                                       : shown(r.target, p.names) + " changed since it was checked";
    // Another file at NAME, with the proved one at NAME.BAK: saved onto NAME after the exchange,
    // as an editor saves. It is the newest, and stays where it was saved.
    const auto there = undone_out
                           ? platform::look(dir, p.target.c_str(), platform::follow_links::no)
                           : std::nullopt;
    if (there && there->id != bak.id)
        return settle(r, outcome::left_alone,
                      shown(r.target, p.names) + " changed since it was checked");
    if (ops.exchange(dir, p.backup.c_str(), p.target.c_str()) == platform::rename_result::done)
        return settle(r, outcome::left_alone, why);
    return settle(r, outcome::failed,
                  why + ", and the two cannot be exchanged back" + because(errno) + ": " +
                      shown(r.target, p.names) + " holds what was " + shown(r.path, p.names));
}

// Where names cannot be exchanged (Windows, some file systems), NAME steps aside to NAME.$$$ and
// is looked at there before NAME.BAK takes the free NAME; no rename replaces a file. A file saved
// onto NAME before the step is what steps aside, and goes back; one saved after it holds NAME,
// which NAME.BAK then cannot take. The lock's name is given up for the step, so another run
// that takes it first only makes the step fail. NAME.$$$ is nobody's lock while it holds NAME,
// for the few system calls until it is looked at and moved on.
undo_result stepped_aside(const platform::folder& dir, const pair_files& p, const side& name,
                          undo_result r, const renamer& ops, platform::file& lock,
                          platform::temp_guard& guard) {
    const std::string temp = p.target + ".$$$";
    // Removed before it is closed, so it is this run's lock that goes (on Windows the name
    // stays until the close).
    guard.release();
    const bool gone = ops.remove(dir, temp.c_str());
    const int removing = errno;
    lock.close();
    if (!gone)
        return settle(r, outcome::failed,
                      "cannot remove " + shown(r.target, p.names) + ".$$$" + because(removing));
    if (!rename_no_replace(ops, dir, p.target.c_str(), temp.c_str())) {
        const int e = errno;
        if (e == EEXIST)
            return settle(r, outcome::left_alone,
                          "another run is at work on " + shown(r.target, p.names));
        return settle(r, outcome::failed,
                      "cannot rename " + shown(r.target, p.names) + " aside" + because(e));
    }
    const bool proved = still(dir, temp.c_str(), name);
    if (proved && rename_no_replace(ops, dir, p.backup.c_str(), p.target.c_str())) {
        ops.remove(dir, temp.c_str());
        r.how = outcome::restored;
        return r;
    }
    const int e = errno;
    if (proved && e == EEXIST) {
        // Saved onto NAME since the step: the newer file stays, and the backup.
        ops.remove(dir, temp.c_str());
        return settle(r, outcome::left_alone,
                      shown(r.target, p.names) + " changed since it was checked");
    }
    // Back to NAME: the file saved there, or the proved one when NAME.BAK could not move.
    const std::string why = proved ? "cannot rename it to " + shown(r.target, p.names) + because(e)
                                   : shown(r.target, p.names) + " changed since it was checked";
    if (!rename_no_replace(ops, dir, temp.c_str(), p.target.c_str()))
        return settle(r, outcome::failed,
                      why + "; what was " + shown(r.target, p.names) + " is " +
                          shown(r.target, p.names) + ".$$$ now" + because(errno));
    return settle(r, proved ? outcome::failed : outcome::left_alone, why);
}

// The restore, made holding NAME.$$$ as the replace step does, so neither an in-place run on
// NAME nor a second undo can act on the pair at the same moment.
undo_result restore(const pair_files& p, const side& bak, const side& name, undo_result r,
                    const hooks& at, std::size_t i) {
    const platform::folder& dir = *p.folder;
    const renamer& ops = at.renames ? *at.renames : replacement::default_renamer;
    const std::string temp = p.target + ".$$$";
    // A stale NAME.$$$ may be all that is left of a failed run's output: never taken over here.
    if (platform::look(dir, temp.c_str(), platform::follow_links::no))
        return settle(r, outcome::left_alone, shown(r.target, p.names) + ".$$$ is in the way");
    const platform::signals_held held;
    errno = 0;
    platform::file lock = platform::create_temp(dir, temp.c_str());
    if (!lock) {
        // Held, or made and let go by another run just now: that run decides. Anything else
        // (a folder this user cannot write, no space) keeps the pair from ever being restored.
        const int e = errno;
        if (e == 0 || e == EWOULDBLOCK || e == EAGAIN || e == EEXIST || e == ENOENT)
            return settle(r, outcome::left_alone,
                          "another run is at work on " + shown(r.target, p.names));
        return settle(r, outcome::failed,
                      "cannot create " + shown(r.target, p.names) + ".$$$" + because(e));
    }
    platform::temp_guard guard(dir, temp.c_str());
    if (at.before_restore) at.before_restore(i);
    // A last look first: most changes, and another run's restore of the pair, show here.
    if (!still(dir, p.backup, bak)) {
        r = settle(r, outcome::left_alone, "changed since it was checked");
    } else if (!still(dir, p.target, name)) {
        r = settle(r, outcome::left_alone,
                   shown(r.target, p.names) + " changed since it was checked");
    } else {
        switch (ops.exchange(dir, p.backup.c_str(), p.target.c_str())) {
            case platform::rename_result::done:
                r = exchanged(dir, p, bak, name, std::move(r), ops);
                break;
            case platform::rename_result::unsupported:
                // The lock is given up on the way: nothing of it is left to remove.
                return stepped_aside(dir, p, name, std::move(r), ops, lock, guard);
            case platform::rename_result::failed:
                // A name gone since the last look is a pair changed, not a failure.
                r = errno == ENOENT ? settle(r, outcome::left_alone, "changed since it was checked")
                                    : settle(r, outcome::failed,
                                             "cannot exchange it with " + shown(r.target, p.names) +
                                                 because(errno));
                break;
        }
    }
    // Removed while still locked, so no other run can have taken the name meanwhile.
    platform::remove(dir, temp.c_str());
    guard.release();
    return r;
}

// Buffers of one worker, reused from pair to pair: each side and a place to decode.
struct buffers {
    std::vector<std::uint8_t> bak = std::vector<std::uint8_t>(max_file_size + 1),
                              name = std::vector<std::uint8_t>(max_file_size + 1),
                              scratch = std::vector<std::uint8_t>(max_file_size + 1);
};

undo_result check(const options& o, const pair_files& p, undo_result r, buffers& b, const hooks& at,
                  std::size_t i) {
    const auto bak = load_side(p, p.backup, b.bak, "", r);
    if (!bak) return r;
    const auto name = load_side(p, p.target, b.name, shown(r.target, o.names), r);
    if (!name) return r;
    if (bak->id == name->id)
        return settle(r, outcome::left_alone, "the same file as " + shown(r.target, o.names));
    r.kind = prove(std::span(b.bak).first(bak->file.size), std::span(b.name).first(name->file.size),
                   b.scratch);
    if (r.kind == undoing::none)
        return settle(r, outcome::left_alone,
                      "not what x or c left of " + shown(r.target, o.names));
    if (o.dry_run) return settle(r, outcome::would_restore, "");
    return restore(p, *bak, *name, std::move(r), at, i);
}

// The pairs the PATHs give, in walk order; those settled already have a result.
void gather(const options& o, std::vector<std::optional<pair_files>>& pairs,
            std::vector<std::optional<undo_result>>& results) {
    // Each backup file by its identity: its folder, its name and the path it was first met by.
    struct met {
        std::optional<platform::identity> folder;
        std::string name, path;
    };
    std::map<platform::identity, met> seen;
    // Each NAME, by its folder and name, with the backup this run takes for it.
    std::map<std::pair<platform::identity, std::string>, std::string> taken;
    const auto add = [&](const entry& e, std::string backup, std::string path) {
        undo_result r;
        r.named = e.named;
        r.path = std::move(path);
        r.target = r.path.substr(0, r.path.size() - 4);
        const auto folder = platform::identity_of(*e.folder);
        if (const auto bak =
                platform::look(*e.folder, backup.c_str(), platform::follow_links::no)) {
            const auto [was, fresh] = seen.emplace(bak->id, met{folder, backup, r.path});
            // The same backup named twice, or named and found in a named folder, is one pair;
            // a second name of it (a hard link) is another pair, which this run leaves alone.
            if (!fresh && was->second.folder == folder && was->second.name == backup) return;
            if (!fresh) {
                pairs.emplace_back();
                results.push_back(settle(r, outcome::left_alone,
                                         "the same file as " + shown(was->second.path, o.names)));
                return;
            }
        }
        const std::string target = backup.substr(0, backup.size() - 4);
        pairs.push_back(pair_files{e.folder, std::move(backup), target, !e.named || e.id, o.names});
        results.emplace_back();
        const auto [first, fresh] = target.empty() || !folder
                                        ? std::pair(taken.end(), true)
                                        : taken.emplace(std::pair(*folder, target), r.path);
        if (target.empty()) {
            pairs.back().reset();
            results.back() = settle(r, outcome::left_alone, "no NAME before .BAK");
        } else if (!fresh) {
            // Two backups restored in turn would leave NAME the second, and the first nowhere.
            pairs.back().reset();
            results.back() = settle(r, outcome::left_alone,
                                    shown(r.target, o.names) + " has another backup, " +
                                        shown(first->second, o.names) + "; a run takes only one");
        } else {
            results.back() = std::move(r);  // moved into the check, which completes it
        }
    };
    const auto settled = [&](const entry& e, outcome how, std::string why) {
        undo_result r;
        r.named = e.named;
        r.path = e.path;
        pairs.emplace_back();
        results.push_back(settle(r, how, std::move(why)));
    };
    for (const entry& e : walk(o.paths, std::nullopt, true).files) {
        if (!e.problem.empty()) {
            settled(e, outcome::failed, e.problem);
        } else if (is_backup(e.name)) {
            add(e, e.name, e.path);
        } else {
            // A PATH naming NAME itself: NAME.BAK beside it, or else its backups in any case.
            std::vector<std::string> found;
            if (platform::look(*e.folder, (e.name + ".BAK").c_str(), platform::follow_links::no)) {
                found.push_back(e.name + ".BAK");
            } else if (auto names = platform::list_folder(*e.folder)) {
                for (const platform::listed& n : *names)
                    if (n.name.size() == e.name.size() + 4 && n.name.starts_with(e.name) &&
                        is_backup(n.name))
                        found.push_back(n.name);
                std::sort(found.begin(), found.end());
            }
            if (found.empty() &&
                !platform::look(*e.folder, e.name.c_str(), platform::follow_links::no))
                settled(e, outcome::failed, "cannot open" + because(errno));
            else if (found.empty())
                settled(e, outcome::left_alone, "no " + shown(e.path, o.names) + ".BAK beside it");
            for (const std::string& n : found) add(e, n, e.path + n.substr(e.name.size()));
        }
    }
}

}  // namespace

bool undo_each(const options& o, const std::function<bool()>& interrupted, const hooks& at,
               const std::function<void(undo_result&)>& report) {
    std::vector<std::optional<pair_files>> pairs;
    std::vector<std::optional<undo_result>> results;
    gather(o, pairs, results);
    std::vector<std::size_t> todo;
    for (std::size_t i = 0; i < pairs.size(); ++i)
        if (pairs[i]) todo.push_back(i);
    std::vector<buffers> workers(workers_for(o.jobs, todo.size()));
    return run_jobs({
        .count = results.size(),
        .todo = todo,
        .workers = workers.size(),
        .work =
            [&](std::size_t i, std::size_t mine) {
                results[i] = check(o, *pairs[i], std::move(*results[i]), workers[mine], at, i);
            },
        .report =
            [&](std::size_t i) {
                report(*results[i]);
                return true;
            },
        .stop = interrupted,
        .waiting = {},
    });
}

}  // namespace vkt2::batch
