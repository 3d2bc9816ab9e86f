#pragma once
// Reading what a store wrote as a strict XML 1.0 parser does (libexpat, the parser many
// programs use): a forbidden character, even as a character reference, fails the whole file.

#include <QByteArray>
#include <QString>

// Empty when the bytes are a well-formed XML 1.0 document; else expat's message and line.
QString StrictXmlError(const QByteArray& bytes);
