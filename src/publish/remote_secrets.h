#pragma once

#include <string>
#include <string_view>
#include <vector>

// An rclone remote is a configured name ("mybucket:diary"), a local path, or
// a connection string that carries the backend's parameters itself
// (":webdav,url='http://host/dav',user=me,pass=XXXX:diary"). Password-like
// parameters of a connection string never show: wherever the program writes
// or shows a remote, or a text that may quote it (rclone's errors), their
// values read "***".

inline constexpr std::string_view kMask = "***";

struct RemoteParameter {
    std::string key;
    std::string value;  // unquoted
};

// The parameters of a connection string, in order; empty for a configured
// remote or a local path.
std::vector<RemoteParameter> RemoteParameters(std::string_view remote);

// A key whose value may be, or may reveal, a credential: generous, so that
// a harmless value ("env_auth=true") is masked rather than a secret shown.
bool IsSecretKey(std::string_view key);
// A key whose value is a credential itself (passwords, secrets, tokens,
// keys): such values belong in rclone's configuration, not in setup.ini.
bool IsCredentialKey(std::string_view key);
// The credential-keyed parameters with a value.
std::vector<RemoteParameter> StoredCredentials(std::string_view remote);

// The remote with every secret value replaced by "***".
std::string MaskRemote(std::string_view remote);
// `text` with the remote's secret values (however the remote quotes them)
// and every secret form replaced by "***": a URL's password
// ("scheme://user:password@"), a secret-like key's value ("pass=",
// "token=", "sig=", "access_token=", "key": "..."), a "Bearer" or "Basic"
// credential. The one masking of every line that comes from rclone.
std::string MaskSecrets(std::string_view text, std::string_view remote);
// An edited remote whose "***" values are those of `original` again, key by
// key, so that a masked value shown for editing keeps the stored one.
std::string UnmaskRemote(std::string_view edited, std::string_view original);
