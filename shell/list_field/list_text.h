#pragma once

#include <QByteArray>
#include <QString>
#include <string_view>

// Text between Qt and the list's model, which keeps UTF-8 lines parted by '\n'.
namespace list_text {

QString FromUtf8(std::string_view text);
std::string_view View(const QByteArray& bytes);
// Text from other programs may end its lines with CR LF, CR or Unicode's line and paragraph
// separators; each of them becomes one '\n' here.
QByteArray AsLines(const QString& text);

}  // namespace list_text
