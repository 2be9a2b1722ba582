// Contacts in and out of the main window: File > Import and Export, vCard
// files dropped on the window, a row dragged out of the list as a vCard.
#include "controls/GridModel.h"
#include "controls/cGrid.h"
#include "controls/cTreeView.h"
#include "mainwindow/frmMain.h"
#include "store/mdlMDB.h"
#include "transfer/Transfer.h"

#include <QApplication>
#include <QDrag>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QLabel>
#include <QMimeData>
#include <QMouseEvent>
#include <QPointer>

void frmMain::importFiles(const QStringList &files)
{
    if (!SharedDb() || m_readOnly)
        return;
    const std::optional<ChangeSummary> done = Transfer::ImportFiles(this, *SharedDb(), files);
    if (!done)
        return;
    // Written through a connection of its own: to this one it looks like
    // another program's write, which it need not look into again.
    m_dataVersion = -1;
    runChange(QString(), [&done] { return *done; });
}

// The current list (not in the bin) and its selected contact.
Transfer::ExportOffer frmMain::exportOffer() const
{
    Transfer::ExportOffer offer;
    if (!inBin()) {
        // A million rows' keys take a while: read only when the list is chosen,
        // straight from the grid's stored text.
        offer.listCount = cGrid1->Rows();
        offer.listIds = [grid = QPointer<cGrid>(cGrid1)] {
            QList<qint64> ids;
            if (!grid)
                return ids;
            ids.reserve(grid->Rows());
            for (int row = 1; row <= grid->Rows(); ++row)
                ids << grid->Model()->cellUtf8(row - 1, ColContactID - 1).toLongLong();
            return ids;
        };
        offer.selected = selectedContact();
    }
    offer.listName = lblTitle->text();
    return offer;
}

void frmMain::exportContacts()
{
    if (SharedDb())
        Transfer::ExportContacts(this, *SharedDb(), exportOffer());
}

void frmMain::printContacts(bool toPdf)
{
    if (SharedDb())
        Transfer::PrintContacts(this, *SharedDb(), exportOffer(), toPdf);
}

void frmMain::dragEnterEvent(QDragEnterEvent *event)
{
    if (!m_readOnly && !Transfer::DroppedCards(event->mimeData()).isEmpty())
        event->acceptProposedAction();
}

void frmMain::dropEvent(QDropEvent *event)
{
    const QStringList files = Transfer::DroppedCards(event->mimeData());
    if (files.isEmpty())
        return;
    event->acceptProposedAction();
    // Imported after the drop has ended, so the dragging program is not held.
    QMetaObject::invokeMethod(this, [this, files] { importFiles(files); }, Qt::QueuedConnection);
}

// A press on a row and a move beyond the drag distance drags the contact out.
bool frmMain::gridDragEvent(QEvent *event)
{
    switch (event->type()) {
    case QEvent::MouseButtonPress: {
        const auto *mouse = static_cast<QMouseEvent *>(event);
        m_dragRow = 0;
        if (mouse->button() == Qt::LeftButton && !inBin()) {
            m_dragRow = cGrid1->indexAt(mouse->position().toPoint()).row() + 1;
            m_dragStart = mouse->position().toPoint();
        }
        return false;
    }
    case QEvent::MouseMove: {
        const auto *mouse = static_cast<QMouseEvent *>(event);
        if (m_dragRow <= 0 || !(mouse->buttons() & Qt::LeftButton) ||
            (mouse->position().toPoint() - m_dragStart).manhattanLength() < QApplication::startDragDistance())
            return false;
        const qint64 id = cGrid1->CellText(m_dragRow, ColContactID).toLongLong();
        m_dragRow = 0;
        if (!SharedDb() || id == 0)
            return false;
        if (QMimeData *data = Transfer::DragData(*SharedDb(), {id})) {
            auto *drag = new QDrag(this);
            drag->setMimeData(data);
            drag->exec(Qt::CopyAction);
        }
        return true;
    }
    case QEvent::MouseButtonRelease:
        m_dragRow = 0;
        return false;
    default:
        return false;
    }
}
