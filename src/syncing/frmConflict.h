#pragma once

#include "sync/Sync.h"

#include <QDialog>

// A contact changed here and on the server since the last sync: both
// versions side by side, and the user keeps this computer's, the server's, or
// both (the server's becomes a contact of its own). Closing keeps both.
class frmConflict : public QDialog
{
    Q_OBJECT
public:
    frmConflict(QWidget *parent, const Sync::Conflict &conflict);
    Sync::Resolution resolution() const { return m_resolution; }

private:
    Sync::Resolution m_resolution = Sync::Resolution::KeepBoth;
};
