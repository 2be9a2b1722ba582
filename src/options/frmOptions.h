#pragma once

#include "settings/RegistryRoutines.h"
#include "settings/mdlOptions.h"

#include <QDialog>

class QCheckBox;
class QComboBox;
class QFrame;
class QLabel;
class QPushButton;
class QRadioButton;
class QSpinBox;
class QTreeWidgetItem;
class cImageList;
class cTreeView;

// The options dialog: loaded hidden with the main window (its load reads the
// stored options), shown modally by the Options command, hidden again when
// closed, unloaded with the main window.
class frmOptions : public QDialog
{
    Q_OBJECT
public:
    // `pageImages` gives the page tree its images.
    frmOptions(QWidget *parent, cImageList *pageImages);

    // The one instance while it is loaded.
    static frmOptions *Instance();
    // Creates and loads it hidden (once; later calls return it).
    static frmOptions *LoadHidden(QWidget *parent, cImageList *pageImages);
    // Closes it for real.
    static void UnloadForReal();

    // Reads every stored value into the shared option state and the controls.
    StoredOptions GetOptions();
    const StoredOptions &LastStored() const { return m_stored; }

    void cTreeView1_NodeClick(QTreeWidgetItem *node);
    void cmdOK_Click();
    void cmdCancel_Click();
    void picColor_Click();
    void picTextColor_Click();

    // Tells the user, once per run, that the settings store cannot keep the
    // options (which file, what failed).
    static void ReportStoreProblem(QWidget *parent, const QString &what);

signals:
    // OK: the grid's lines and hot tracking as chosen.
    void gridLookChosen(bool gridLines, bool hotTrack);
    // A colour swatch: the title strip's background or text (0x00BBGGRR).
    void titleBackgroundChosen(qint32 colour);
    void titleTextChosen(qint32 colour);

protected:
    void closeEvent(QCloseEvent *event) override;
    void reject() override;

private:
    void Load();
    void buildWidgets();
    void setSwatch(QWidget *swatch, qint32 colour);
    qint32 swatchColour(const QWidget *swatch) const;
    void useShownOptions();

    RegistryRoutines m_reg;
    StoredOptions m_stored;

    QFrame *picTitle = nullptr;
    QLabel *lblTitle = nullptr;
    cTreeView *cTreeView1 = nullptr;
    QFrame *froGeneral = nullptr;
    QFrame *froDisplay = nullptr;
    QRadioButton *ptnSortByFirstName = nullptr;
    QRadioButton *ptnSortByLastName = nullptr;
    QCheckBox *chkRunWhenWindowsStarts = nullptr;
    QSpinBox *spnHistoryDays = nullptr;
    QSpinBox *spnHistorySteps = nullptr;
    QLabel *lblHistoryNote = nullptr;
    QCheckBox *chkFoldAccents = nullptr;
    QComboBox *cboPhoneRegion = nullptr;
    QSpinBox *spnSyncMinutes = nullptr;
    QComboBox *cboSyncPolicy = nullptr;
    QCheckBox *chkViewGrid = nullptr;
    QCheckBox *chkHoTrack = nullptr;
    QPushButton *picColor = nullptr;
    QPushButton *picTextColor = nullptr;
    QFrame *picText = nullptr;
    QPushButton *cmdOK = nullptr;
    QPushButton *cmdCancel = nullptr;
};
