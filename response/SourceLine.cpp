#include "response/SourceLine.h"

#include <QString>
#include <QStringDecoder>

#include <array>
#include <optional>

namespace cto {

namespace {

std::optional<std::string> decodeLine(ByteStream& source, QStringConverter::Encoding encoding, int line,
                                      std::size_t count) {
    source.seek(0);
    QStringDecoder decoder(encoding);
    std::array<char, 64 * 1024> chunk{};
    int current = 1;
    QString result;
    std::size_t taken = 0;
    for (;;) {
        const std::size_t n = source.read(chunk.data(), chunk.size());
        if (n == 0)
            break;
        const QString text = decoder.decode(QByteArrayView(chunk.data(), static_cast<qsizetype>(n)));
        if (decoder.hasError())
            return std::nullopt;
        for (qsizetype i = 0; i < text.size(); ++i) {
            const QChar c = text.at(i);
            if (c == u'\n') {
                if (current == line)
                    return result.toStdString();
                ++current;
                continue;
            }
            if (current != line || taken == count || c == u'\r' || c == QChar(0xFEFF))
                continue;
            result.append(c);
            // A surrogate pair is one character.
            if (!c.isHighSurrogate())
                ++taken;
        }
        if (current == line && taken == count)
            break;
    }
    return result.toStdString();
}

} // namespace

std::string sourceLineStart(ByteStream& source, int line, std::size_t count) {
    std::array<char, 4> head{};
    source.seek(0);
    const std::size_t n = source.read(head.data(), head.size());
    auto encoding =
        QStringConverter::encodingForData(QByteArrayView(head.data(), static_cast<qsizetype>(n)), u'<');
    if (!encoding)
        encoding = QStringConverter::Utf8;
    if (auto text = decodeLine(source, *encoding, line, count))
        return *text;
    return decodeLine(source, QStringConverter::Latin1, line, count).value_or(std::string());
}

} // namespace cto
