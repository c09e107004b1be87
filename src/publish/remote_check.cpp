#include "publish/remote_check.h"

#include <QByteArray>
#include <QJsonArray>
#include <QJsonDocument>
#include <QtGlobal>

#include "log/log_text.h"
#include "publish/remote_secrets.h"

namespace {

// rclone's "directory not found".
constexpr int kExitNoFolder = 3;
constexpr std::size_t kErrorsShown = 2000;

}  // namespace

std::vector<std::string> RemoteCheckArguments(const std::string& remote,
                                              const std::string& rclone_config) {
    std::vector<std::string> args = {"lsjson",           "--max-depth=1", "--no-mimetype",
                                     "--contimeout=10s", "--timeout=30s", "--low-level-retries=1",
                                     "--retries=1"};
    if (!rclone_config.empty()) args.push_back("--config=" + rclone_config);
    args.push_back("--");
    args.push_back(remote);
    return args;
}

std::string DescribeRemoteCheck(int exit_code, const std::string& output, const std::string& errors,
                                const std::string& remote) {
    std::string text;
    if (exit_code == 0) {
        const QJsonDocument list = QJsonDocument::fromJson(QByteArray::fromStdString(output));
        text = TranslatedText(
            "RemoteCheck", QT_TRANSLATE_NOOP("RemoteCheck", "接続できました。フォルダの項目: %1件"),
            {std::to_string(list.isArray() ? list.array().size() : 0)});
    } else if (exit_code == kExitNoFolder) {
        text = TranslatedText(
            "RemoteCheck",
            QT_TRANSLATE_NOOP(
                "RemoteCheck",
                "接続できました。フォルダはまだありません（最初の送信で作られます）。"));
    } else if (exit_code < 0) {
        text = TranslatedText(
            "RemoteCheck",
            QT_TRANSLATE_NOOP("RemoteCheck",
                              "接続できませんでした（rcloneが終わりませんでした）。"));
    } else {
        text = TranslatedText(
            "RemoteCheck",
            QT_TRANSLATE_NOOP("RemoteCheck", "接続できませんでした（rcloneの終了コード %1）。"),
            {std::to_string(exit_code)});
    }
    std::string said = errors;
    if (said.size() > kErrorsShown) said = "..." + said.substr(said.size() - kErrorsShown);
    while (!said.empty() && (said.back() == '\n' || said.back() == '\r')) said.pop_back();
    if (!said.empty())
        text += "\n" +
                TranslatedText("RemoteCheck", QT_TRANSLATE_NOOP("RemoteCheck", "rcloneの答え:")) +
                "\n" + said;
    return MaskSecrets(text, remote);
}
