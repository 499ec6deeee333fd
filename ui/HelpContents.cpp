#include "ui/HelpContents.h"

#include <QRegularExpression>
#include <QTextDocumentFragment>

namespace tvr::ui {

QVector<HelpSection> helpSections(const QString& html) {
    static const QRegularExpression heading(
        QStringLiteral(R"re(<a\s+name="([^"]+)"\s*>\s*</a>\s*<h([12])[^>]*>(.*?)</h\2>)re"),
        QRegularExpression::CaseInsensitiveOption | QRegularExpression::DotMatchesEverythingOption);
    QVector<HelpSection> sections;
    for (auto it = heading.globalMatch(html); it.hasNext();) {
        const auto match = it.next();
        const QString title =
            QTextDocumentFragment::fromHtml(match.captured(3)).toPlainText().simplified();
        sections.push_back({match.captured(1), title, match.captured(2).toInt()});
    }
    return sections;
}

}  // namespace tvr::ui
