#include "support/strict_xml.h"

#include <expat.h>

#include <limits>

QString StrictXmlError(const QByteArray& bytes)
{
    XML_Parser parser = XML_ParserCreate(nullptr);
    if (!parser) return QStringLiteral("expat could not start");
    QString error;
    if (bytes.size() > std::numeric_limits<int>::max() ||
        XML_Parse(parser, bytes.constData(), static_cast<int>(bytes.size()), 1) != XML_STATUS_OK) {
        error = QStringLiteral("%1 at line %2")
                    .arg(QString::fromUtf8(XML_ErrorString(XML_GetErrorCode(parser))))
                    .arg(XML_GetCurrentLineNumber(parser));
    }
    XML_ParserFree(parser);
    return error;
}
