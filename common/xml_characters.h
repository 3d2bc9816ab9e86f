#pragma once
#include <QString>

// XML 1.0 admits no C0 control character but TAB, LF and CR, no U+FFFE or U+FFFF and no unpaired
// surrogate, even as a character reference: a strict parser refuses the whole file. Text from the
// peer can hold any of them (a pasted manual line break is U+000B), so every XML file the agent
// writes passes its texts through here. U+000B and U+000C become LF, since they break a line where
// they were typed; the others are dropped.
QString XmlCharactersOnly(const QString& text);

// Whether the text holds nothing XmlCharactersOnly would change.
bool HasOnlyXmlCharacters(const QString& text);
