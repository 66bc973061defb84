// Runs the window tests: one QApplication (offscreen under ctest) for every GoogleTest case.
#include <gtest/gtest.h>

#include <QApplication>
#include <QString>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

namespace {

// The offscreen platform reports every window it cannot size by hints; that says nothing here.
void quietHandler(QtMsgType type, const QMessageLogContext& context, const QString& message) {
  if (message.contains(QStringLiteral("propagateSizeHints"))) return;
  std::fprintf(stderr, "%s\n", qPrintable(qFormatLogMessage(type, context, message)));
}

// Qt wants a runtime folder of the user's own and warns when XDG_RUNTIME_DIR names none. When
// the session gives none, the tests make a private temporary one (mode 0700); empty otherwise.
std::string makePrivateRuntimeFolder() {
  if (!qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")) return {};
  std::error_code ec;
  const std::filesystem::path tmp = std::filesystem::temp_directory_path(ec);
  std::string folder = ((ec ? std::filesystem::path("/tmp") : tmp) / "quelbro-runtime-XXXXXX").string();
  if (mkdtemp(folder.data()) == nullptr) return {};
  qputenv("XDG_RUNTIME_DIR", folder.c_str());
  return folder;
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  const std::string runtimeFolder = makePrivateRuntimeFolder();
  qInstallMessageHandler(quietHandler);
  QApplication app(argc, argv);
  QApplication::setQuitOnLastWindowClosed(false);
  ::testing::InitGoogleTest(&argc, argv);
  const int result = RUN_ALL_TESTS();
  if (!runtimeFolder.empty()) {
    std::error_code ec;
    std::filesystem::remove_all(runtimeFolder, ec);
  }
  return result;
}
