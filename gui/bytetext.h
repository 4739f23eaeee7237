#pragma once

#include <QString>

#include <string>
#include <string_view>

// Terminal files, frames and answers hold 8-bit text. The windows show it byte for byte
// (Latin-1), so what they write back is exactly what they read, whatever the bytes.

inline QString FromBytes(std::string_view bytes)
{
    return QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

inline std::string ToBytes(const QString& text)
{
    return text.toLatin1().toStdString();
}
