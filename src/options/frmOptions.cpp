#include "options/frmOptions.h"

#include "settings/RegistryStore.h"

#include "context/AppContext.h"
#include "controls/MsgBox.h"
#include "controls/mdlSetFormIcon32.h"
#include "controls/Units.h"
#include "controls/cTreeView.h"
#include "duplicates/Phone.h"
#include "options/Autostart.h"
#include "controls/mdlCommDialog.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QLocale>
#include <QCloseEvent>
#include <QDir>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include <algorithm>

namespace {
QPointer<frmOptions> g_options;

void setBackground(QWidget *w, const QColor &c)
{
    QPalette p = w->palette();
    p.setColor(QPalette::Window, c);
    p.setColor(QPalette::Button, c);
    w->setPalette(p);
    w->setAutoFillBackground(true);
}

void setTextColour(QWidget *w, const QColor &c)
{
    QPalette p = w->palette();
    p.setColor(QPalette::WindowText, c);
    w->setPalette(p);
}
} // namespace

frmOptions::frmOptions(QWidget *parent, cImageList *pageImages) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmOptions"));
    setWindowTitle(QStringLiteral("Options"));
    setModal(true);
    buildWidgets();
    cTreeView1->SetImageList(pageImages);
}

frmOptions *frmOptions::Instance()
{
    return g_options.data();
}

frmOptions *frmOptions::LoadHidden(QWidget *parent, cImageList *pageImages)
{
    if (g_options)
        return g_options.data();
    // There is no installer to create the option keys: without them no option
    // would ever be kept.
    EnsureOptionKeys();
    g_options = new frmOptions(parent, pageImages);
    g_options->Load();
    RegistryStore &store = RegistryStore::instance();
    if (!store.isAvailable()) {
        ReportStoreProblem(parent, QStringLiteral("The stored options could not be read."));
    } else if (!store.setAsideFileName().isEmpty() && store.firstProblemNotice()) {
        MsgBox::Inform(parent, QStringLiteral("The settings file %1 was damaged. It was kept as %2, and the options "
                                              "start again from their defaults.")
                                   .arg(QDir::toNativeSeparators(store.fileName()),
                                        QDir::toNativeSeparators(store.setAsideFileName())));
    }
    return g_options.data();
}

void frmOptions::UnloadForReal()
{
    if (g_options) {
        g_options->close();
        delete g_options.data();
    }
}

void frmOptions::buildWidgets()
{
    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 10);

    picTitle = new QFrame(this);
    picTitle->setObjectName(QStringLiteral("picTitle"));
    setBackground(picTitle, QColor(255, 0, 0));
    auto *titleLayout = new QHBoxLayout(picTitle);
    titleLayout->setContentsMargins(10, 6, 10, 6);
    lblTitle = new QLabel(QStringLiteral("Options"), picTitle);
    lblTitle->setObjectName(QStringLiteral("lblTitle"));
    QFont f = lblTitle->font();
    f.setBold(true);
    f.setPointSizeF(f.pointSizeF() * 1.15);
    lblTitle->setFont(f);
    setTextColour(lblTitle, Qt::white);
    titleLayout->addWidget(lblTitle);
    outer->addWidget(picTitle);

    auto *middle = new QHBoxLayout();
    middle->setContentsMargins(10, 4, 10, 4);
    cTreeView1 = new cTreeView(this);
    cTreeView1->setObjectName(QStringLiteral("cTreeView1"));
    cTreeView1->setAccessibleName(QStringLiteral("Pages"));
    cTreeView1->setRootIsDecorated(false);
    cTreeView1->setFixedWidth(130);
    connect(cTreeView1, &cTreeView::NodeClick, this, &frmOptions::cTreeView1_NodeClick);
    middle->addWidget(cTreeView1);

    auto *pages = new QVBoxLayout();
    // General page.
    froGeneral = new QFrame(this);
    froGeneral->setObjectName(QStringLiteral("froGeneral"));
    auto *g = new QVBoxLayout(froGeneral);
    auto *lblGeneral = new QLabel(QStringLiteral("General"), froGeneral);
    lblGeneral->setObjectName(QStringLiteral("lblGeneral"));
    lblGeneral->setFont(f);
    g->addWidget(lblGeneral);
    auto *lblSorting = new QLabel(QStringLiteral("Sorting mode:"), froGeneral);
    g->addWidget(lblSorting);
    ptnSortByFirstName = new QRadioButton(QStringLiteral("Range ABC by first name"), froGeneral);
    ptnSortByFirstName->setObjectName(QStringLiteral("ptnSortByFirstName"));
    ptnSortByLastName = new QRadioButton(QStringLiteral("Range ABC by last name"), froGeneral);
    ptnSortByLastName->setObjectName(QStringLiteral("ptnSortByLastName"));
    // One group whose buttons may both be off, as when nothing is stored.
    auto *group = new QButtonGroup(this);
    group->setExclusive(false);
    group->addButton(ptnSortByFirstName);
    group->addButton(ptnSortByLastName);
    connect(ptnSortByFirstName, &QRadioButton::toggled, this, [this](bool on) {
        if (on)
            ptnSortByLastName->setChecked(false);
    });
    connect(ptnSortByLastName, &QRadioButton::toggled, this, [this](bool on) {
        if (on)
            ptnSortByFirstName->setChecked(false);
    });
    g->addWidget(ptnSortByFirstName);
    g->addWidget(ptnSortByLastName);
    g->addSpacing(8);
    chkRunWhenWindowsStarts = new QCheckBox(QStringLiteral("Run when windows starts"), froGeneral);
    chkRunWhenWindowsStarts->setObjectName(QStringLiteral("chkRunWhenWindowsStarts"));
    g->addWidget(chkRunWhenWindowsStarts);
    g->addSpacing(8);
    // How long changes can be undone and removed contacts wait in the bin.
    auto *history = new QHBoxLayout();
    auto *lblKeep = new QLabel(QStringLiteral("&Keep history for"), froGeneral);
    spnHistoryDays = new QSpinBox(froGeneral);
    spnHistoryDays->setObjectName(QStringLiteral("spnHistoryDays"));
    spnHistoryDays->setRange(1, 3650);
    spnHistoryDays->setSuffix(QStringLiteral(" days"));
    spnHistoryDays->setAccessibleName(QStringLiteral("Keep history for days"));
    lblKeep->setBuddy(spnHistoryDays);
    spnHistorySteps = new QSpinBox(froGeneral);
    spnHistorySteps->setObjectName(QStringLiteral("spnHistorySteps"));
    spnHistorySteps->setRange(10, 100000);
    spnHistorySteps->setSuffix(QStringLiteral(" changes"));
    spnHistorySteps->setAccessibleName(QStringLiteral("Keep at most changes"));
    history->addWidget(lblKeep);
    history->addWidget(spnHistoryDays);
    history->addWidget(new QLabel(QStringLiteral("at most"), froGeneral));
    history->addWidget(spnHistorySteps);
    history->addStretch(1);
    g->addLayout(history);
    lblHistoryNote = new QLabel(froGeneral);
    lblHistoryNote->setObjectName(QStringLiteral("lblHistoryNote"));
    lblHistoryNote->setWordWrap(true);
    g->addWidget(lblHistoryNote);
    auto note = [this] {
        lblHistoryNote->setText(QStringLiteral("Changes older than %1 days, and all but the last %2, can no longer "
                                               "be undone; contacts removed more than %1 days ago are deleted from "
                                               "the Recycle bin for good.")
                                    .arg(spnHistoryDays->value())
                                    .arg(spnHistorySteps->value()));
    };
    connect(spnHistoryDays, &QSpinBox::valueChanged, this, note);
    connect(spnHistorySteps, &QSpinBox::valueChanged, this, note);
    g->addSpacing(8);
    chkFoldAccents = new QCheckBox(QStringLiteral("Search ignores &accents (\u201calvaro\u201d finds \u201c\u00c1lvaro\u201d)"),
                                   froGeneral);
    chkFoldAccents->setObjectName(QStringLiteral("chkFoldAccents"));
    g->addWidget(chkFoldAccents);
    // Where numbers written without "+" are dialled, to compare them.
    auto *region = new QHBoxLayout();
    auto *lblRegion = new QLabel(QStringLiteral("&Phone numbers without + are from"), froGeneral);
    cboPhoneRegion = new QComboBox(froGeneral);
    cboPhoneRegion->setObjectName(QStringLiteral("cboPhoneRegion"));
    lblRegion->setBuddy(cboPhoneRegion);
    cboPhoneRegion->addItem(QStringLiteral("The system's country (%1)").arg(Phone::DefaultRegion()), QString());
    QList<QPair<QString, QString>> countries;
    for (int t = 1; t <= int(QLocale::LastTerritory); ++t) {
        const auto territory = QLocale::Territory(t);
        const QString code = QLocale::territoryToCode(territory);
        if (code.size() == 2 && code.at(0).isLetter() && code.at(1).isLetter())
            countries.append({QLocale::territoryToString(territory), code});
    }
    std::sort(countries.begin(), countries.end());
    for (const auto &c : countries)
        cboPhoneRegion->addItem(c.first + QStringLiteral(" (") + c.second + QLatin1Char(')'), c.second);
    region->addWidget(lblRegion);
    region->addWidget(cboPhoneRegion, 1);
    g->addLayout(region);
    // Sync with the CardDAV accounts (Tools > Sync accounts).
    auto *syncRow = new QHBoxLayout();
    auto *lblSync = new QLabel(QStringLiteral("S&ync every"), froGeneral);
    spnSyncMinutes = new QSpinBox(froGeneral);
    spnSyncMinutes->setObjectName(QStringLiteral("spnSyncMinutes"));
    spnSyncMinutes->setRange(0, 1440);
    spnSyncMinutes->setSuffix(QStringLiteral(" minutes"));
    spnSyncMinutes->setSpecialValueText(QStringLiteral("never on its own"));
    lblSync->setBuddy(spnSyncMinutes);
    syncRow->addWidget(lblSync);
    syncRow->addWidget(spnSyncMinutes);
    syncRow->addStretch(1);
    g->addLayout(syncRow);
    auto *policyRow = new QHBoxLayout();
    auto *lblPolicy = new QLabel(QStringLiteral("A contact changed &on both sides:"), froGeneral);
    cboSyncPolicy = new QComboBox(froGeneral);
    cboSyncPolicy->setObjectName(QStringLiteral("cboSyncPolicy"));
    cboSyncPolicy->addItem(QStringLiteral("Keep both versions"), QStringLiteral("keep-both"));
    cboSyncPolicy->addItem(QStringLiteral("Ask me"), QStringLiteral("ask"));
    cboSyncPolicy->addItem(QStringLiteral("This computer's version wins"), QStringLiteral("local"));
    cboSyncPolicy->addItem(QStringLiteral("The server's version wins"), QStringLiteral("server"));
    lblPolicy->setBuddy(cboSyncPolicy);
    policyRow->addWidget(lblPolicy);
    policyRow->addWidget(cboSyncPolicy, 1);
    g->addLayout(policyRow);
    g->addStretch(1);
    pages->addWidget(froGeneral);

    // Display page.
    froDisplay = new QFrame(this);
    froDisplay->setObjectName(QStringLiteral("froDisplay"));
    auto *d = new QVBoxLayout(froDisplay);
    auto *lblDisplay = new QLabel(QStringLiteral("Display Options"), froDisplay);
    lblDisplay->setObjectName(QStringLiteral("lblDisplayOptions"));
    lblDisplay->setFont(f);
    d->addWidget(lblDisplay);
    chkViewGrid = new QCheckBox(QStringLiteral("Display grid lines"), froDisplay);
    chkViewGrid->setObjectName(QStringLiteral("chkViewGrid"));
    chkHoTrack = new QCheckBox(QStringLiteral("Display grid hot track"), froDisplay);
    chkHoTrack->setObjectName(QStringLiteral("chkHoTrack"));
    d->addWidget(chkViewGrid);
    d->addWidget(chkHoTrack);
    d->addSpacing(8);
    auto swatchRow = [&](const QString &labelName, const QString &caption, QPushButton *&swatch,
                         const QString &swatchName) {
        auto *row = new QHBoxLayout();
        swatch = new QPushButton(froDisplay);
        swatch->setObjectName(swatchName);
        swatch->setAccessibleName(caption);
        swatch->setFixedSize(40, 22);
        swatch->setFlat(true);
        swatch->setCursor(Qt::PointingHandCursor);
        setSwatch(swatch, 0);
        auto *label = new QLabel(caption, froDisplay);
        label->setObjectName(labelName);
        label->setBuddy(swatch);
        row->addWidget(swatch);
        row->addWidget(label);
        row->addStretch(1);
        d->addLayout(row);
    };
    swatchRow(QStringLiteral("lblAppColor"), QStringLiteral("Application Color"), picColor, QStringLiteral("picColor"));
    swatchRow(QStringLiteral("lblFontColor"), QStringLiteral("Font Color"), picTextColor,
              QStringLiteral("picTextColor"));
    picText = new QFrame(froDisplay);
    picText->setObjectName(QStringLiteral("picText"));
    picText->setFixedHeight(6);
    d->addWidget(picText);
    d->addStretch(1);
    pages->addWidget(froDisplay);
    middle->addLayout(pages, 1);
    outer->addLayout(middle, 1);

    auto *buttons = new QHBoxLayout();
    buttons->setContentsMargins(10, 0, 10, 0);
    buttons->addStretch(1);
    cmdOK = new QPushButton(QStringLiteral("OK"), this);
    cmdOK->setObjectName(QStringLiteral("cmdOK"));
    cmdCancel = new QPushButton(QStringLiteral("Cancel"), this);
    cmdCancel->setObjectName(QStringLiteral("cmdCancel"));
    for (QPushButton *b : {cmdOK, cmdCancel}) {
        b->setAutoDefault(false);
        b->setMinimumWidth(90);
        buttons->addWidget(b);
    }
    outer->addLayout(buttons);

    connect(cmdOK, &QPushButton::clicked, this, &frmOptions::cmdOK_Click);
    connect(cmdCancel, &QPushButton::clicked, this, &frmOptions::cmdCancel_Click);
    connect(picColor, &QPushButton::clicked, this, &frmOptions::picColor_Click);
    connect(picTextColor, &QPushButton::clicked, this, &frmOptions::picTextColor_Click);
    resize(520, 360);
}

void frmOptions::Load()
{
    SetFormIcon(this, QStringLiteral("AAA"), true);
    m_reg = OptionsRegistry();
    froGeneral->hide();
    froDisplay->hide();
    GetOptions();
    cTreeView1->ClearNodes();
    cTreeView1->AddNode(nullptr, QStringLiteral("General"), QStringLiteral("General"), 9);
    cTreeView1->AddNode(nullptr, QStringLiteral("View"), QStringLiteral("View"), 11);
    cTreeView1_NodeClick(cTreeView1->topLevelItem(0));
}

void frmOptions::setSwatch(QWidget *swatch, qint32 colour)
{
    swatch->setProperty("bgr", colour);
    swatch->setStyleSheet(QStringLiteral("QPushButton { background-color: %1; border: 1px solid #808080; }")
                              .arg(Units::ColorFromBgr(colour).name()));
}

qint32 frmOptions::swatchColour(const QWidget *swatch) const
{
    return swatch->property("bgr").toInt();
}

StoredOptions frmOptions::GetOptions()
{
    m_stored = ::GetOptions(m_reg);
    // A value that is stored but cannot be read leaves its control as it was;
    // one that is not stored at all shows the default.
    auto storedAt = [this](const char *subkey, const char *name) {
        RegistryRoutines r = m_reg;
        r.setSubkey(QLatin1String(subkey));
        return r.GetRegistryValue(QLatin1String(name)).isValid();
    };
    auto checkState = [](int v) { return v == 1 ? Qt::Checked : v == 2 ? Qt::PartiallyChecked : Qt::Unchecked; };
    if (m_stored.chkRunWhenWindowsStarts)
        chkRunWhenWindowsStarts->setCheckState(checkState(*m_stored.chkRunWhenWindowsStarts));
    else if (!storedAt("Options", "chkRunWhenWindowsStarts"))
        chkRunWhenWindowsStarts->setChecked(false);
    if (m_stored.ptnSortByFirstName || !storedAt("Options", "ptnSortByFirstName"))
        ptnSortByFirstName->setChecked(m_stored.ptnSortByFirstName.value_or(false));
    if (m_stored.ptnSortByLastName || !storedAt("Options", "ptnSortByLastName"))
        ptnSortByLastName->setChecked(m_stored.ptnSortByLastName.value_or(false) && !ptnSortByFirstName->isChecked());
    if (m_stored.chkHoTrack)
        chkHoTrack->setCheckState(checkState(*m_stored.chkHoTrack));
    else if (!storedAt("Display", "chkHoTrack"))
        chkHoTrack->setChecked(false);
    if (m_stored.chkViewGrid)
        chkViewGrid->setCheckState(checkState(*m_stored.chkViewGrid));
    else if (!storedAt("Display", "chkViewGrid"))
        chkViewGrid->setChecked(false);
    if (m_stored.HistoryDays || !storedAt("Options", "HistoryDays"))
        spnHistoryDays->setValue(m_stored.HistoryDays.value_or(90));
    if (m_stored.HistorySteps || !storedAt("Options", "HistorySteps"))
        spnHistorySteps->setValue(m_stored.HistorySteps.value_or(1000));
    if (m_stored.chkFoldAccents)
        chkFoldAccents->setCheckState(checkState(*m_stored.chkFoldAccents));
    else if (!storedAt("Options", "chkFoldAccents"))
        chkFoldAccents->setChecked(true);
    if (m_stored.PhoneRegion || !storedAt("Options", "PhoneRegion"))
        cboPhoneRegion->setCurrentIndex(std::max(0, cboPhoneRegion->findData(m_stored.PhoneRegion.value_or(QString()))));
    if (m_stored.SyncMinutes || !storedAt("Options", "SyncMinutes"))
        spnSyncMinutes->setValue(m_stored.SyncMinutes.value_or(15));
    if (m_stored.SyncPolicy || !storedAt("Options", "SyncPolicy"))
        cboSyncPolicy->setCurrentIndex(std::max(0, cboSyncPolicy->findData(m_stored.SyncPolicy.value_or(QStringLiteral("keep-both")))));
    if (m_stored.picColor || !storedAt("Display", "picColor"))
        setSwatch(picColor, m_stored.picColor.value_or(0));
    if (m_stored.picTextColor || !storedAt("Display", "picTextColor"))
        setSwatch(picTextColor, m_stored.picTextColor.value_or(0));
    return m_stored;
}

void frmOptions::cTreeView1_NodeClick(QTreeWidgetItem *node)
{
    if (!node)
        return;
    froGeneral->hide();
    froDisplay->hide();
    lblTitle->setText(cTreeView::NodeText(node));
    const QString key = cTreeView::NodeKey(node);
    if (key == QLatin1String("General"))
        froGeneral->show();
    else if (key == QLatin1String("View"))
        froDisplay->show();
    cTreeView1->SelectNode(node);
}

void frmOptions::cmdOK_Click()
{
    emit gridLookChosen(chkViewGrid->isChecked(), chkHoTrack->isChecked());
    // All or nothing: a failure half-way must not leave old and new options mixed.
    const bool saved = RegistryStore::instance().inOneTransaction([this] {
        return SaveRunWhenWindowsStarts(m_reg, chkRunWhenWindowsStarts->isChecked() ? 1 : 0) &&
               SaveSortByFirstName(m_reg, ptnSortByFirstName->isChecked()) &&
               SaveSortByLastName(m_reg, ptnSortByLastName->isChecked()) &&
               SaveHoTrack(m_reg, chkHoTrack->isChecked() ? 1 : 0) &&
               SaveViewGrid(m_reg, chkViewGrid->isChecked() ? 1 : 0) &&
               SaveAppColor(m_reg, swatchColour(picColor)) && SaveTextColor(m_reg, swatchColour(picTextColor)) &&
               SaveHistory(m_reg, spnHistoryDays->value(), spnHistorySteps->value()) &&
               SaveFoldAccents(m_reg, chkFoldAccents->isChecked() ? 1 : 0) &&
               SavePhoneRegion(m_reg, cboPhoneRegion->currentData().toString()) &&
               SaveSync(m_reg, spnSyncMinutes->value(), cboSyncPolicy->currentData().toString());
    });
    // The choice acts here: an autostart entry for the desktop session.
    Autostart::Apply(chkRunWhenWindowsStarts->isChecked());
    if (saved) {
        GetOptions();
    } else {
        // What is on screen stays and is used for the rest of the run.
        ReportStoreProblem(this, QStringLiteral("The options could not be saved."));
        useShownOptions();
    }
    hide();
}

// The options as the dialog shows them become the program's, without the store.
void frmOptions::useShownOptions()
{
    OptionState &o = Options();
    o.OptRunWhenWindowsStarts = chkRunWhenWindowsStarts->isChecked();
    o.OptSortByFirstName = ptnSortByFirstName->isChecked();
    o.OptHoTrack = chkHoTrack->isChecked();
    o.OptViewGrid = chkViewGrid->isChecked();
    o.OptAppColor = swatchColour(picColor);
    o.OptTextColor = swatchColour(picTextColor);
    o.OptHistoryDays = spnHistoryDays->value();
    o.OptHistorySteps = spnHistorySteps->value();
    o.OptFoldAccents = chkFoldAccents->isChecked();
    o.OptPhoneRegion = cboPhoneRegion->currentData().toString();
    o.OptSyncMinutes = spnSyncMinutes->value();
    o.OptSyncPolicy = cboSyncPolicy->currentData().toString();
}

void frmOptions::ReportStoreProblem(QWidget *parent, const QString &what)
{
    RegistryStore &store = RegistryStore::instance();
    if (!store.firstProblemNotice())
        return;
    const QString file = QDir::toNativeSeparators(store.fileName());
    MsgBox::Fail(parent, what + QStringLiteral("\n\nThe settings file %1 cannot be written. The options you choose "
                                               "apply until Ardentia closes.")
                                    .arg(file.isEmpty() ? QStringLiteral("(none)") : file));
}

void frmOptions::cmdCancel_Click()
{
    // Back to what is stored: what was not confirmed is dropped.
    GetOptions();
    hide();
}

void frmOptions::picColor_Click()
{
    const SelectedColor chosen = ShowColorDialog(this, false);
    if (chosen.Color == -1)
        return;
    setSwatch(picColor, chosen.Color);
    setBackground(picTitle, Units::ColorFromBgr(chosen.Color));
    emit titleBackgroundChosen(chosen.Color);
    if (!SaveAppColor(m_reg, chosen.Color)) {
        ReportStoreProblem(this, QStringLiteral("The colour could not be saved."));
        Options().OptAppColor = chosen.Color;
    }
}

void frmOptions::picTextColor_Click()
{
    const SelectedColor chosen = ShowColorDialog(this, false);
    if (chosen.Color == -1)
        return;
    if (!SaveTextColor(m_reg, chosen.Color)) {
        ReportStoreProblem(this, QStringLiteral("The colour could not be saved."));
        Options().OptTextColor = chosen.Color;
    }
    const QColor c = Units::ColorFromBgr(chosen.Color);
    setSwatch(picTextColor, chosen.Color);
    setBackground(picText, c);
    setTextColour(lblTitle, c);
    emit titleTextChosen(chosen.Color);
}

void frmOptions::closeEvent(QCloseEvent *event)
{
    if (App().AppClosing) {
        event->accept();
        return;
    }
    // Hidden, not unloaded: the controls keep what they show.
    event->ignore();
    hide();
}

void frmOptions::reject()
{
    if (App().AppClosing) {
        QDialog::reject();
        return;
    }
    hide();
    setResult(QDialog::Rejected);
}
