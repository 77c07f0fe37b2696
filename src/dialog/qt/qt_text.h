#pragma once
// Texts cross between the dialog's byte strings and Qt.  Settings files may
// come from systems that wrote them in a single-byte code page, so bytes that
// are not UTF-8 are shown as Latin-1 rather than as replacement characters,
// and a text the user did not change goes back as the bytes it came from.
#include <QString>
#include <QStringDecoder>

#include <string>
#include <string_view>

namespace orbisk::qt {

inline QString ToQt(std::string_view bytes) {
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8(QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())));
    if (!utf8.hasError()) return text;
    return QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

inline std::string FromQt(const QString& text) { return text.toStdString(); }

// The bytes for what a control shows now: the original bytes when the text is
// still the one they were shown as.
inline std::string BytesFor(const QString& shown, std::string_view original) {
    if (shown == ToQt(original)) return std::string(original);
    return FromQt(shown);
}

}  // namespace orbisk::qt
