#pragma once

#include <QIcon>
#include <QList>
#include <QObject>
#include <QSize>
#include <QString>

// A list of images addressed by index from 0, handed to the controls.
class cImageList : public QObject
{
    Q_OBJECT
public:
    explicit cImageList(QObject *parent = nullptr, QSize size = QSize(16, 16));
    // Appends the image from a resource path; a missing one keeps its index with a null icon.
    int Add(const QString &resourcePath);
    QIcon Icon(int index) const;
    int Count() const { return int(m_icons.size()); }
    QSize IconSize() const { return m_size; }

private:
    QList<QIcon> m_icons;
    QSize m_size;
};
