#include "editor/frmCntContact.h"

#include "controls/Captions.h"
#include "controls/MsgBox.h"
#include "controls/mdlSetFormIcon32.h"
#include "controls/Units.h"
#include "controls/cGrid.h"
#include "controls/cImageList.h"
#include "controls/cTabControl.h"
#include "editor/ItemListPage.h"
#include "interchange/ContactCard.h"
#include "sqlite/Statement.h"
#include "store/Connection.h"
#include "settings/mdlOptions.h"
#include "store/DateText.h"
#include "store/ItemList.h"
#include "store/Statements.h"
#include "store/mdlMDB.h"

#include <QComboBox>
#include <QDateTime>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QSet>

#include <limits>

#include <sqlite3.h>

namespace {

const QString kContactGone = QStringLiteral("The contact no longer exists in the database.");

} // namespace

frmCntContact::frmCntContact(QWidget *parent) : EditorDialog(parent)
{
    setObjectName(QStringLiteral("frmCntContact"));
    setWindowTitle(QStringLiteral("Contact"));
    buildWidgets();
    Form_Load();
}

void frmCntContact::buildWidgets()
{
    SetClientSizeTwips(6855, 6795);

    auto label = [this](const char *name, const QString &text, QWidget *parent) {
        auto *l = new QLabel(text, parent);
        l->setObjectName(QLatin1String(name));
        return l;
    };
    auto lineEdit = [](const char *name, QLabel *buddy, QWidget *parent) {
        auto *e = new QLineEdit(parent);
        e->setObjectName(QLatin1String(name));
        buddy->setBuddy(e);
        e->setAccessibleName(NameFromCaption(buddy->text()));
        return e;
    };

    lblFirstName = label("lblFirstName", QStringLiteral("First Name:"), this);
    txtFirstName = lineEdit("txtFirstName", lblFirstName, this);
    lblLastName = label("lblLastName", QStringLiteral("Last Name:"), this);
    txtLastName = lineEdit("txtLastName", lblLastName, this);
    lblCategory = label("lblCategory", QStringLiteral("Category:"), this);
    cboCategory = new QComboBox(this);
    cboCategory->setObjectName(QStringLiteral("cboCategory"));
    cboCategory->setEditable(true);
    // Completion is our own (see cboCategory_TextEdited); the box must not add
    // what is typed to its choices either.
    cboCategory->setCompleter(nullptr);
    cboCategory->setInsertPolicy(QComboBox::NoInsert);
    cboCategory->setAccessibleName(NameFromCaption(lblCategory->text()));
    lblCategory->setBuddy(cboCategory);

    Units::PlaceTwips(lblFirstName, 240, 240);
    Units::PlaceTwips(txtFirstName, 240, 480, 3615, 315);
    Units::PlaceTwips(lblLastName, 240, 840);
    Units::PlaceTwips(txtLastName, 240, 1080, 3615, 315);
    Units::PlaceTwips(lblCategory, 240, 1560);
    Units::PlaceTwips(cboCategory, 240, 1800, 3615, 315);

    buildPicture();

    cTabControl1 = new cTabControl(this);
    cTabControl1->setObjectName(QStringLiteral("cTabControl1"));
    Units::PlaceTwips(cTabControl1, 240, 2400, 6375, 3735);

    // General page.
    TabGeneral = new QWidget(this);
    TabGeneral->setObjectName(QStringLiteral("TabGeneral"));
    Label1 = label("Label1", QStringLiteral("Address:"), TabGeneral);
    txtAddress = lineEdit("txtAddress", Label1, TabGeneral);
    lblCompany = label("lblCompany", QStringLiteral("Company:"), TabGeneral);
    txtCompany = lineEdit("txtCompany", lblCompany, TabGeneral);
    Label2 = label("Label2", QStringLiteral("Notes:"), TabGeneral);
    txtNotes = new QPlainTextEdit(TabGeneral);
    txtNotes->setObjectName(QStringLiteral("txtNotes"));
    txtNotes->setLineWrapMode(QPlainTextEdit::NoWrap);
    txtNotes->setTabChangesFocus(true);
    txtNotes->setAccessibleName(NameFromCaption(Label2->text()));
    Label2->setBuddy(txtNotes);
    Units::PlaceTwips(Label1, 120, 120);
    Units::PlaceTwips(txtAddress, 120, 360, 5895, 315);
    Units::PlaceTwips(lblCompany, 120, 840);
    Units::PlaceTwips(txtCompany, 120, 1080, 3615, 315);
    Units::PlaceTwips(Label2, 120, 1560);
    Units::PlaceTwips(txtNotes, 120, 1800, 5895, 1395);

    // The three list pages share one design.
    imgPlayer = new cImageList(this);
    for (const char *name : {"add", "edit", "delete", "up", "down"})
        imgPlayer->Add(QStringLiteral(":/icons/player/%1.svg").arg(QLatin1String(name)));
    ilsIcons = new cImageList(this);
    m_phones = new cItemListPage(ItemPageDesign::Phones(), imgPlayer, ilsIcons, this);
    m_mails = new cItemListPage(ItemPageDesign::Mails(), imgPlayer, ilsIcons, this);
    m_sites = new cItemListPage(ItemPageDesign::Sites(), imgPlayer, ilsIcons, this);

    TabAdvanced = new QWidget(this);
    TabAdvanced->setObjectName(QStringLiteral("TabAdvanced"));
    buildHistory();

    cmdOK = new QPushButton(QStringLiteral("OK"), this);
    cmdOK->setObjectName(QStringLiteral("cmdOK"));
    cmdCancel = new QPushButton(QStringLiteral("Cancel"), this);
    cmdCancel->setObjectName(QStringLiteral("cmdCancel"));
    Units::PlaceTwips(cmdOK, 240, 6240, 1335, 375);
    Units::PlaceTwips(cmdCancel, 1800, 6240, 1335, 375);
    MakePlainButton(cmdOK);
    MakePlainButton(cmdCancel);

    setTabOrder(txtFirstName, txtLastName);
    setTabOrder(txtLastName, cboCategory);
    setTabOrder(cboCategory, cTabControl1->Bar());

    connect(cmdOK, &QPushButton::clicked, this, [this] { cmdOK_Click(); });
    connect(cmdCancel, &QPushButton::clicked, this, &frmCntContact::cmdCancel_Click);
    connect(cTabControl1, &cTabControl::TabSelected, this, &frmCntContact::cTabControl1_TabSelected);
    connect(cboCategory->lineEdit(), &QLineEdit::textEdited, this, &frmCntContact::cboCategory_TextEdited);
    cboCategory->installEventFilter(this);
    cboCategory->lineEdit()->installEventFilter(this);
    txtFirstName->setFocus();
}

void frmCntContact::Form_Load()
{
    SetFormIcon(this, QStringLiteral("AAA"), false);

    imgTabs = new cImageList(this);
    for (const char *name : {"general", "phones", "mails", "sites", "", "advanced"})
        imgTabs->Add(*name ? QStringLiteral(":/icons/tabs/%1.svg").arg(QLatin1String(name)) : QString());
    cTabControl1->SetImageList(imgTabs);
    const struct
    {
        const char *key;
        int image;
        QWidget *page;
    } tabs[] = {{"General", 0, TabGeneral},
                {"Phones", 1, m_phones},
                {"Mails", 2, m_mails},
                {"Sites", 3, m_sites},
                {"Advanced", 5, TabAdvanced}};
    for (const auto &t : tabs) {
        const QString key = QLatin1String(t.key);
        cTabControl1->AddTab(key, key, t.image);
        m_pageByKey.insert(key, t.page);
    }

    placePages();
    for (QWidget *page : std::as_const(m_pageByKey))
        page->setVisible(page == TabGeneral);

    for (cItemListPage *page : {m_phones, m_mails, m_sites})
        page->Layout();

    SetCats();

    const QCursor hand = lblAdd->cursor();
    Image1->setCursor(hand);
    lblClickToAddPic->setCursor(hand);
}

// The pages cover the tab control's client area, reaching a little past it on
// both sides so that the frame's inner edge does not show as a second line.
void frmCntContact::placePages()
{
    const QRect client = cTabControl1->ClientRect();
    const QRect area(client.left() - Units::TwipsToPixelsX(30, this), client.top(),
                     client.width() + Units::TwipsToPixelsX(50, this), client.height());
    for (QWidget *page : std::as_const(m_pageByKey)) {
        page->setGeometry(area);
        page->raise();
    }
}

void frmCntContact::cTabControl1_TabSelected(const QString &key)
{
    for (QWidget *page : std::as_const(m_pageByKey))
        page->hide();
    if (QWidget *page = m_pageByKey.value(key))
        page->show();
}

bool frmCntContact::OpenContact()
{
    m_openError.clear();
    QString first, last, company, phones, mails, sites, address, category, picture, notes;
    try {
        if (!SharedDb())
            throw StoreError(0, QStringLiteral("The database is not open."));
        Recordset rs(*SharedDb());
        rs.open(Statements::ContactById(g_lContactID));
        if (rs.atEnd()) {
            m_openError = kContactGone;
            return false;
        }
        first = rs.text("First_Name");
        last = rs.text("Last_Name");
        company = rs.text("Company");
        phones = rs.text("Phones");
        mails = rs.text("Mails");
        sites = rs.text("Websites");
        address = rs.text("Address");
        category = rs.text("Category");
        picture = rs.text("Picture");
        notes = rs.text("Notes");
        rs.close();
    } catch (const StoreError &e) {
        m_openError = QStringLiteral("The contact could not be read.\n\n") + e.message();
        return false;
    }

    showWhole(txtFirstName, first);
    showWhole(txtLastName, last);
    showWhole(txtCompany, company);
    m_phones->Fill(phones);
    m_mails->Fill(mails);
    m_sites->Fill(sites);
    showWhole(txtAddress, address);
    showWhole(cboCategory->lineEdit(), category);
    showStoredPicture(picture);
    txtNotes->setPlainText(notes);
    // What OK compares with: only the fields the user changes are written, so
    // the others keep their stored bytes (text in another encoding, text no
    // box could show whole).
    m_shown.clear();
    for (const auto &[column, value] : fieldValues())
        m_shown.insert(QLatin1String(column), value);
    loadHistory();
    loadKept();
    return true;
}

// Shows a stored value in a line edit. A value the box cannot hold whole is
// shown read-only with a word why, and never written back cut.
void frmCntContact::showWhole(QLineEdit *edit, const QString &value)
{
    edit->setMaxLength(std::numeric_limits<int>::max());
    edit->setText(value);
    if (edit->text() == value)
        return;
    edit->setReadOnly(true);
    const QString why = QStringLiteral("This field holds %1 characters, more than can be changed here; it is kept "
                                       "as it is.")
                            .arg(value.size());
    edit->setToolTip(why);
    edit->setAccessibleDescription(why);
}

QList<std::pair<const char *, QString>> frmCntContact::fieldValues() const
{
    return {{"First_Name", txtFirstName->text()},
            {"Last_Name", txtLastName->text()},
            {"Company", txtCompany->text()},
            {"Phones", m_phones->List()},
            {"Mails", m_mails->List()},
            {"Websites", m_sites->List()},
            {"Category", cboCategory->currentText()},
            {"Address", txtAddress->text()},
            {"Notes", txtNotes->toPlainText()},
            // Written in new mode too, so a new contact keeps the picture chosen for it.
            {"Picture", m_picturePath}};
}

void frmCntContact::SetCats()
{
    // Only the choices change; what is typed in the box stays.
    const QString typed = cboCategory->currentText();
    cboCategory->clear();
    // The choices only help typing; without them the dialog still works, so a
    // store failure here is not worth a message of its own.
    try {
        if (SharedDb()) {
            Recordset rs(*SharedDb());
            rs.open(Statements::DistinctCategories());
            const int column = rs.columnIndex("Category");
            QSet<QString> seen;
            while (!rs.atEnd()) {
                if (column >= 0 && !rs.isNull(column)) {
                    const QString category = rs.text(column);
                    if (!category.isEmpty() && !seen.contains(category)) {
                        seen.insert(category);
                        cboCategory->addItem(category);
                    }
                }
                rs.moveNext();
            }
            rs.close();
        }
    } catch (const StoreError &) {
    }
    cboCategory->setEditText(typed);
}

void frmCntContact::AddGridItem(cGrid *Grd, const QString &sItem, const QString &sDescription)
{
    if (!Grd)
        return;
    const int row = Grd->Rows() + 1;
    Grd->SetCellText(row, 1, sItem);
    Grd->SetCellText(row, 2, sDescription);
}

QString frmCntContact::GetList(const cGrid *Grd)
{
    QList<ItemEntry> rows;
    if (Grd) {
        for (int row = 1; row <= Grd->Rows(); ++row)
            rows.append({Grd->CellText(row, 1), Grd->CellText(row, 2)});
    }
    return ::GetList(rows);
}

bool frmCntContact::cmdOK_Click()
{
    // The list refresh below lets events run while the dialog is still open:
    // a second click on OK then must not add the contact a second time.
    if (m_saved)
        return false;
    if (Options().OptSortByFirstName) {
        if (txtFirstName->text().isEmpty()) {
            MsgBox::Inform(this, QStringLiteral("The 'first name' field is empty."));
            txtFirstName->setFocus();
            return false;
        }
    } else if (txtLastName->text().isEmpty()) {
        MsgBox::Inform(this, QStringLiteral("The 'last name' field is empty."));
        txtLastName->setFocus();
        return false;
    }

    if (!keptValid())
        return false;
    const QString kept = ContactCard::JoinKept(ContactCard::SplitKept(txtKept->toPlainText()));
    const bool keptChanged = kept != m_keptShown;
    qint64 savedId = g_lContactID;
    bool changed = !g_bEdit || keptChanged;
    for (const auto &[column, value] : fieldValues())
        changed = changed || value != m_shown.value(QLatin1String(column));
    ChangeSummary summary;
    try {
        if (!SharedDb())
            throw StoreError(0, QStringLiteral("The database is not open."));
        // One step that can be undone, named after the contact as saved.
        QString name = (txtFirstName->text() + QLatin1Char(' ') + txtLastName->text()).trimmed();
        if (name.isEmpty())
            name = QStringLiteral("a contact without a name");
        std::optional<JournalStep> step;
        if (changed)
            step.emplace(*SharedDb(), (g_bEdit ? QStringLiteral("edit of ") : QStringLiteral("addition of ")) + name);
        if (step && g_bEdit)
            step->keepBefore(g_lContactID);
        Recordset rs(*SharedDb());
        if (g_bEdit) {
            rs.open(Statements::ContactById(g_lContactID));
            // Never fall back to adding: the user meant to change that contact.
            if (rs.atEnd())
                throw StoreError(0, kContactGone);
        } else {
            rs.open(Statements::AllContacts());
            rs.addNew();
        }
        // Nothing changed: nothing is written, the date of the last save included.
        if (changed) {
            for (const auto &[column, value] : fieldValues()) {
                if (!g_bEdit || value != m_shown.value(QLatin1String(column)))
                    rs.setField(column, value);
            }
            rs.setField("Date_Registed", StoredDateTime(QDateTime::currentDateTime()));
            rs.update();
            savedId = rs.currentKey();
            if (!g_bEdit)
                step->keepAdded(savedId, savedId);
            if (keptChanged) {
                Statement st(SharedDb()->handle(), "UPDATE ContactMeta SET Kept = ?2 WHERE ContactID = ?1");
                st.bind(1, savedId);
                if (kept.isEmpty())
                    st.bindNull(2);
                else
                    st.bind(2, kept);
                if (st.step() != SQLITE_DONE)
                    SharedDb()->fail(sqlite3_errcode(SharedDb()->handle()));
            }
        }
        rs.close();
        if (step)
            summary = step->commit();
        m_saved = true;
    } catch (const StoreError &e) {
        MsgBox::Fail(this, QStringLiteral("The contact could not be saved.\n\n") + e.message());
        return false;
    }

    if (changed)
        emit contactSaved(savedId, summary);
    g_bEdit = false;
    accept();
    return true;
}

void frmCntContact::cmdCancel_Click()
{
    reject();
}

void frmCntContact::done(int result)
{
    // Whichever way it closes, the next opening is for a new contact unless
    // the opener says otherwise.
    g_bEdit = false;
    EditorDialog::done(result);
}

// Typing completes the category from the choices; the guard keeps a Delete or
// Backspace from being undone by the completion it would trigger. Only the
// user's edits arrive here, so our own replacement needs no guard.
void frmCntContact::cboCategory_TextEdited(const QString &text)
{
    if (m_completionGuard) {
        m_completionGuard = false;
        return;
    }
    if (text.isEmpty())
        return;
    const int found = cboCategory->findText(text, Qt::MatchStartsWith);
    if (found < 0)
        return;
    const QString entry = cboCategory->itemText(found);
    if (entry.size() <= text.size())
        return;
    QLineEdit *edit = cboCategory->lineEdit();
    edit->setText(entry);
    edit->setSelection(int(text.size()), int(entry.size() - text.size()));
}

bool frmCntContact::eventFilter(QObject *watched, QEvent *event)
{
    if ((watched == cboCategory || watched == cboCategory->lineEdit()) && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (key == Qt::Key_Delete || key == Qt::Key_Backspace)
            m_completionGuard = true;
    }
    if (event->type() == QEvent::MouseButtonRelease) {
        const auto *me = static_cast<QMouseEvent *>(event);
        auto *w = qobject_cast<QWidget *>(watched);
        if (me->button() == Qt::LeftButton && w && w->rect().contains(me->position().toPoint())) {
            if (watched == Image1 || watched == lblClickToAddPic) {
                ChoosePicture();
                return true;
            }
        }
    }
    return EditorDialog::eventFilter(watched, event);
}

void frmCntContact::showEvent(QShowEvent *event)
{
    // Centred on the screen, as the dialog is designed, not on its owner.
    if (!m_placed) {
        m_placed = true;
        const QScreen *s = screen() ? screen() : QGuiApplication::primaryScreen();
        if (s) {
            const QRect area = s->availableGeometry();
            const QSize size = frameGeometry().size();
            move(area.left() + (area.width() - size.width()) / 2, area.top() + (area.height() - size.height()) / 2);
        }
    }
    EditorDialog::showEvent(event);
}
