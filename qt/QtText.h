// The window's side of the text boundary: the core speaks Windows-1251, widgets QString.
#pragma once

#include <QString>
#include <QTextDocument>
#include <string>

#include "platform/Text.h"

namespace skimlet {

inline QString Q(const std::string& win1251) { return QString::fromStdString(Win1251ToUtf8(win1251)); }
inline std::string Win(const QString& text) { return Utf8ToWin1251(text.toStdString()); }
// File paths are UTF-8 on both sides.
inline QString QPath(const std::string& utf8) { return QString::fromStdString(utf8); }
// A tool tip showing a name, an address or page text: Qt takes any text with a tag in it
// for rich text, so it is escaped and shown as written.
inline QString PlainTip(const QString& text) {
  if (!Qt::mightBeRichText(text)) return text;
  return QStringLiteral("<p style='white-space:pre-wrap'>") + text.toHtmlEscaped() + "</p>";
}

}  // namespace skimlet
