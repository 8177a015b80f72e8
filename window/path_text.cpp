#include "window/path_text.h"

#include <QDir>
#include <QFile>

namespace tarnwick {

std::filesystem::path toFilesystemPath(const QString& fileName) {
#ifdef Q_OS_WIN
    return std::filesystem::path(QDir::toNativeSeparators(fileName).toStdWString());
#else
    const QByteArray bytes = QFile::encodeName(fileName);
    return std::filesystem::path(
        std::string(bytes.constData(), static_cast<std::size_t>(bytes.size())));
#endif
}

QString toQtFileName(const std::filesystem::path& path) {
#ifdef Q_OS_WIN
    return QString::fromStdWString(path.wstring());
#else
    const std::string& bytes = path.native();
    return QFile::decodeName(QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size())));
#endif
}

} // namespace tarnwick
