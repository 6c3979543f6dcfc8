#pragma once
// Channel names and module descriptions as the configuration files hold them. The files technicians keep are
// 8-bit text in code page Windows-1250, the one that holds the Czech and Slovak letters of the default names;
// a file that another editor saved as UTF-8 is read as UTF-8. A name lives on one line of its file, in
// brackets, so it can hold neither a line break nor a closing bracket.

#include <QByteArray>
#include <QString>

namespace navix {

enum class NameEncoding { Windows1250, Utf8 };

QByteArray EncodeName(const QString &text, NameEncoding encoding);
QString DecodeName(const QByteArray &bytes, NameEncoding encoding);

// Whether every character of text has a place in Windows-1250.
bool Windows1250Holds(const QString &text);
// Whether bytes are well-formed UTF-8 throughout; a sequence cut off at the very end counts as well-formed
// when cutOffEndAllowed is set (the bytes are the start of something longer).
bool IsUtf8(const QByteArray &bytes, bool cutOffEndAllowed = false);

// A line break (CR, LF or CR LF) and every other control character become one blank each.
QString WithoutLineBreaks(const QString &text);
// The longest name or description a module keeps. Its file line stays well within what the file loader
// reads, in any encoding a file is saved in.
constexpr int MaxNameLength = 255;
// A text as a name holds it, whether typed, loaded or saved: without line breaks, at most MaxNameLength
// characters.
QString AsName(const QString &text);
// The character that ends a name in its file line.
constexpr char NameEnd = ')';

} // namespace navix
