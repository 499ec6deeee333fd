#pragma once
// The help's table of contents, read from the help file itself: every heading (h1, h2) that
// follows a named anchor (<a name="...">) is an entry, so a section added to the file appears
// in the help window's contents list without a change here.
#include <QString>
#include <QVector>

namespace tvr::ui {

struct HelpSection {
    QString anchor;  // the name of the anchor before the heading
    QString title;   // the heading's text, tags removed and entities decoded
    int level;       // 1 for h1, 2 for h2
};

QVector<HelpSection> helpSections(const QString& html);

}  // namespace tvr::ui
