// The Advanced page's history: the contact's earlier versions, newest first,
// each shown whole when chosen and brought back into the editor's fields
// (OK then saves it, one more change that can be undone).
#include "editor/frmCntContact.h"

#include "controls/MsgBox.h"
#include "interchange/ContactCard.h"
#include "sqlite/Statement.h"
#include "store/Connection.h"
#include "store/StoreError.h"
#include "controls/Units.h"
#include "controls/cTabControl.h"
#include "editor/ItemListPage.h"
#include "store/DateText.h"
#include "store/ItemList.h"
#include "store/Journal.h"
#include "store/mdlMDB.h"

#include <QComboBox>

#include <sqlite3.h>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

// A version as a reader sees it: each field on a line of its own.
QString describe(const ContactState &s)
{
    const struct
    {
        const char *column;
        const char *caption;
    } fields[] = {{"First_Name", "First name"}, {"Last_Name", "Last name"}, {"Category", "Category"},
                  {"Company", "Company"},       {"Address", "Address"},     {"Phones", "Phones"},
                  {"Mails", "Mails"},           {"Websites", "Web sites"},  {"Notes", "Notes"},
                  {"Picture", "Picture"},       {"Date_Registed", "Saved"}};
    QString out;
    for (const auto &f : fields) {
        QString value = s.value(f.column);
        if (qstrcmp(f.column, "Phones") == 0 || qstrcmp(f.column, "Mails") == 0 || qstrcmp(f.column, "Websites") == 0) {
            QStringList items;
            for (const ItemEntry &e : SplitItemList(value))
                items << (e.sDescription.isEmpty() ? e.sItem : e.sItem + QStringLiteral(" (") + e.sDescription + u')');
            value = items.join(QStringLiteral(", "));
        } else if (qstrcmp(f.column, "Date_Registed") == 0) {
            value = GeneralDate(value);
        }
        if (!value.isEmpty())
            out += QLatin1String(f.caption) + QStringLiteral(": ") + value + u'\n';
    }
    return out;
}

} // namespace

void frmCntContact::buildHistory()
{
    auto *layout = new QVBoxLayout(TabAdvanced);
    auto *lblKept = new QLabel(QStringLiteral("&More from other programs (vCard lines):"), TabAdvanced);
    lblKept->setObjectName(QStringLiteral("lblKept"));
    txtKept = new QPlainTextEdit(TabAdvanced);
    txtKept->setObjectName(QStringLiteral("txtKept"));
    txtKept->setAccessibleName(QStringLiteral("More from other programs"));
    txtKept->setLineWrapMode(QPlainTextEdit::NoWrap);
    txtKept->setPlaceholderText(QStringLiteral("Birthday, nickname, title and the like, as imported cards bring them"));
    lblKept->setBuddy(txtKept);
    layout->addWidget(lblKept);
    layout->addWidget(txtKept, 1);
    lblHistory = new QLabel(QStringLiteral("&Earlier versions:"), TabAdvanced);
    lblHistory->setObjectName(QStringLiteral("lblHistory"));
    lstHistory = new QListWidget(TabAdvanced);
    lstHistory->setObjectName(QStringLiteral("lstHistory"));
    lstHistory->setAccessibleName(QStringLiteral("Earlier versions"));
    lblHistory->setBuddy(lstHistory);
    txtVersion = new QPlainTextEdit(TabAdvanced);
    txtVersion->setObjectName(QStringLiteral("txtVersion"));
    txtVersion->setAccessibleName(QStringLiteral("The chosen version"));
    txtVersion->setReadOnly(true);
    cmdBringBack = new QPushButton(QStringLiteral("&Bring back this version"), TabAdvanced);
    cmdBringBack->setObjectName(QStringLiteral("cmdBringBack"));
    MakePlainButton(cmdBringBack);
    cmdBringBack->setEnabled(false);
    layout->addWidget(lblHistory);
    layout->addWidget(lstHistory, 1);
    layout->addWidget(txtVersion, 1);
    layout->addWidget(cmdBringBack, 0, Qt::AlignLeft);
    connect(lstHistory, &QListWidget::currentRowChanged, this, [this](int row) {
        const bool chosen = row >= 0 && row < m_history.size();
        txtVersion->setPlainText(chosen ? describe(m_history.at(row).state) : QString());
        cmdBringBack->setEnabled(chosen);
    });
    connect(cmdBringBack, &QPushButton::clicked, this, [this] { bringBack(lstHistory->currentRow()); });
}

void frmCntContact::loadKept()
{
    m_keptShown.clear();
    if (g_bEdit && SharedDb()) {
        try {
            Statement st(SharedDb()->handle(), "SELECT Kept FROM ContactMeta WHERE ContactID = ?1");
            st.bind(1, g_lContactID);
            if (st.step() == SQLITE_ROW)
                m_keptShown = ContactCard::JoinKept(ContactCard::SplitKept(st.text(0)));
        } catch (const StoreError &) {
        }
    }
    txtKept->setPlainText(m_keptShown);
}

// Every line must be one a card can hold ("NAME;PARAM=value:value").
bool frmCntContact::keptValid()
{
    const QStringList lines = ContactCard::SplitKept(txtKept->toPlainText());
    for (int i = 0; i < lines.size(); ++i) {
        VCard::Property p;
        if (!VCard::Property::fromLine(lines.at(i), p)) {
            cTabControl1->SelectTab(QStringLiteral("Advanced"));
            MsgBox::Inform(this, QStringLiteral("Line %1 of 'More from other programs' is not a vCard line "
                                                "(NAME:value):\n\n%2")
                                     .arg(i + 1)
                                     .arg(lines.at(i)));
            txtKept->setFocus();
            return false;
        }
    }
    return true;
}

void frmCntContact::loadHistory()
{
    lstHistory->clear();
    m_history.clear();
    try {
        if (SharedDb())
            m_history = Journal::History(*SharedDb(), g_lContactID);
    } catch (const StoreError &) {
        // The history only helps; the contact itself is open.
    }
    for (const Journal::Version &v : m_history)
        lstHistory->addItem(QStringLiteral("Until %1 (%2)").arg(GeneralDate(v.replacedBy.at), v.replacedBy.name));
    if (m_history.isEmpty())
        lstHistory->addItem(QStringLiteral("No earlier versions are kept."));
    lstHistory->setEnabled(!m_history.isEmpty());
}

// The version's values go into the fields; nothing is written until OK.
void frmCntContact::bringBack(int row)
{
    if (row < 0 || row >= m_history.size())
        return;
    const ContactState &s = m_history.at(row).state;
    txtFirstName->setText(s.value("First_Name"));
    txtLastName->setText(s.value("Last_Name"));
    txtCompany->setText(s.value("Company"));
    txtAddress->setText(s.value("Address"));
    cboCategory->setEditText(s.value("Category"));
    txtNotes->setPlainText(s.value("Notes"));
    m_phones->Fill(s.value("Phones"));
    m_mails->Fill(s.value("Mails"));
    m_sites->Fill(s.value("Websites"));
    setPicture(s.value("Picture"));
    cTabControl1->SelectTab(QStringLiteral("General"));
}
