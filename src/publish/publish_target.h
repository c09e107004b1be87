#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "publish/rclone_daemon.h"

// One entry of a remote folder.
struct RemoteEntry {
    std::string name;
    std::int64_t size = 0;
    std::int64_t mtime_ns = 0;  // as the remote tells it (its own clock where it keeps no times)
    bool is_dir = false;
};

// The file operations of publishing on one remote, through the daemon.
// Paths are relative to the remote's root, "/"-separated.
class PublishTarget {
public:
    enum class Outcome {
        kDone,
        kNotFound,  // the folder or the source file is not there
        kFailed,    // the remote (or rclone) failed: an outage until shown otherwise
        kRefused,   // the remote answered, and said no (an HTTP 4xx or 5xx, read-only)
        kAborted,
    };
    struct Result {
        Outcome outcome = Outcome::kFailed;
        std::string error;  // rclone's words, unmasked
        // An upload that did not end: the partial file it may have left.
        std::string partial;

        bool Done() const { return outcome == Outcome::kDone; }
    };

    PublishTarget(RcloneDaemon& daemon, std::string remote)
        : daemon_(daemon), remote_(std::move(remote)) {}

    const std::string& Remote() const { return remote_; }

    // Asks what the backend can do: whether a file can be moved on it (then
    // every upload goes to a partial name first and is moved into place, so
    // that no reader finds it half written) and how exact its times are.
    Result Connect(const AbortFn& abort);
    bool MovesIntoPlace() const { return moves_; }
    std::int64_t PrecisionNs() const { return precision_ns_; }
    // Listings tell the times rclone gave the files (their local times) to
    // within PrecisionNs, cheaply: not where the remote keeps none, nor
    // where reading them costs a request a file (object stores; there a
    // listing tells when a file arrived).
    bool ExactTimes() const { return exact_times_; }

    // The entries of a folder; kNotFound when it does not exist.
    Result List(const std::string& folder, std::vector<RemoteEntry>& entries, const AbortFn& abort);
    // `local_folder` + `local_name` (a local file) to `remote_path`.
    Result Upload(const std::string& local_folder, const std::string& local_name,
                  const std::string& remote_path, const AbortFn& abort);
    // One file; one that is not there counts as deleted.
    Result Delete(const std::string& remote_path, const AbortFn& abort);
    // A folder only while it is empty; a folder with anything in it stays.
    Result RemoveEmptyFolder(const std::string& remote_path, const AbortFn& abort);

private:
    Result FromReply(const RcReply& reply) const;

    RcloneDaemon& daemon_;
    const std::string remote_;
    bool moves_ = false;
    bool exact_times_ = false;
    std::int64_t precision_ns_ = 1'000'000'000;
};

// Whether rclone's error tells an answer of the remote that refused
// ("403 Forbidden", "405 Method Not Allowed", a read-only file system),
// rather than a remote that could not be reached.
bool IsRemoteRefusal(const std::string& error);

// Nanoseconds since the epoch of an RFC 3339 time ("2024-01-02T03:04:05.5Z",
// "...+09:00"); false when it is none.
bool ParseRfc3339(const std::string& text, std::int64_t& ns);
// Six letters or digits, fresh for every call.
std::string RandomPartialTag();
