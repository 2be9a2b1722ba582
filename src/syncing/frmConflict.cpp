#include "syncing/frmConflict.h"

#include "store/ItemList.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QTextBrowser>
#include <QVBoxLayout>

namespace {

const char *const kLabels[] = {"First name", "Last name", "Company", "Address", "Category",
                               "Phones",     "Mails",     "Web sites", "Notes"};

QString shown(const ContactCard::Contact &c, int column)
{
    const QString v = c.columns.value(column);
    if (column < ContactCard::Phones || column > ContactCard::Websites)
        return v;
    QStringList lines;
    for (const ItemEntry &e : SplitItemList(v))
        lines << (e.sDescription.isEmpty() ? e.sItem : e.sItem + QStringLiteral(" (") + e.sDescription + QLatin1Char(')'));
    return lines.join(QLatin1Char('\n'));
}

// One version as a table; what differs from the other in bold.
QString table(const ContactCard::Contact &c, const ContactCard::Contact &other)
{
    QString html = QStringLiteral("<table cellspacing=\"3\">");
    for (int col = 0; col <= ContactCard::Notes; ++col) {
        const QString v = shown(c, col), o = shown(other, col);
        if (v.isEmpty() && o.isEmpty())
            continue;
        QString value = v.toHtmlEscaped().replace(QLatin1Char('\n'), QStringLiteral("<br>"));
        if (v != o)
            value = QStringLiteral("<b>") + (value.isEmpty() ? QStringLiteral("(none)") : value) + QStringLiteral("</b>");
        html += QStringLiteral("<tr><td valign=\"top\"><i>%1</i></td><td>%2</td></tr>").arg(QLatin1String(kLabels[col]), value);
    }
    html += QStringLiteral("</table>");
    // What has no field here (a birthday, a nickname...), as the card says it.
    QStringList extra;
    for (const QString &line : c.kept) {
        if (!other.kept.contains(line))
            extra << QStringLiteral("<b>") + line.toHtmlEscaped() + QStringLiteral("</b>");
        else
            extra << line.toHtmlEscaped();
    }
    if (!extra.isEmpty())
        html += QStringLiteral("<p><i>More:</i><br>") + extra.join(QStringLiteral("<br>")) + QStringLiteral("</p>");
    return html;
}

} // namespace

frmConflict::frmConflict(QWidget *parent, const Sync::Conflict &conflict) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmConflict"));
    setWindowTitle(QStringLiteral("Changed on both sides"));
    resize(720, 420);
    auto *layout = new QVBoxLayout(this);
    auto *intro = new QLabel(QStringLiteral("%1 was changed on this computer and on the server since the last sync. "
                                            "Which version do you keep? What differs is in bold.")
                                 .arg(conflict.name.toHtmlEscaped()),
                             this);
    intro->setWordWrap(true);
    layout->addWidget(intro);
    auto *sides = new QHBoxLayout;
    const struct
    {
        const char *name, *caption;
        const ContactCard::Contact &mine, &theirs;
    } views[] = {{"txtLocal", "On this computer", conflict.local, conflict.server},
                 {"txtServer", "On the server", conflict.server, conflict.local}};
    for (const auto &v : views) {
        auto *column = new QVBoxLayout;
        column->addWidget(new QLabel(QStringLiteral("<b>%1</b>").arg(QLatin1String(v.caption)), this));
        auto *text = new QTextBrowser(this);
        text->setObjectName(QLatin1String(v.name));
        text->setAccessibleName(QLatin1String(v.caption));
        text->setHtml(table(v.mine, v.theirs));
        column->addWidget(text);
        sides->addLayout(column);
    }
    layout->addLayout(sides, 1);
    auto *buttons = new QHBoxLayout;
    const struct
    {
        const char *name, *caption;
        Sync::Resolution resolution;
    } choices[] = {{"cmdKeepLocal", "Keep &this computer's", Sync::Resolution::Local},
                   {"cmdKeepServer", "Keep the &server's", Sync::Resolution::Server},
                   {"cmdKeepBoth", "Keep &both", Sync::Resolution::KeepBoth}};
    buttons->addStretch(1);
    for (const auto &c : choices) {
        auto *b = new QPushButton(QLatin1String(c.caption), this);
        b->setObjectName(QLatin1String(c.name));
        const Sync::Resolution r = c.resolution;
        connect(b, &QPushButton::clicked, this, [this, r] {
            m_resolution = r;
            accept();
        });
        buttons->addWidget(b);
    }
    layout->addLayout(buttons);
}
