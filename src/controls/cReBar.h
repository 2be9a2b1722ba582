#pragma once

#include <QWidget>

class QVBoxLayout;
class QHBoxLayout;

// The band container: bands in lines, each band a child widget with a key.
// Refit lays the bands out again and reports the height they need.
class cReBar : public QWidget
{
    Q_OBJECT
public:
    explicit cReBar(QWidget *parent = nullptr);
    void AddBand(const QString &key, QWidget *child, bool newLine, bool fixedSize, int minWidth);
    QWidget *Band(const QString &key) const;
    // Fits the bands to the width and returns the height they take, in pixels.
    int UpdateSize();

signals:
    void HeightChanged(int height);

private:
    QVBoxLayout *m_lines;
    QHBoxLayout *m_current = nullptr;
    QHash<QString, QWidget *> m_bands;
    int m_lastHeight = -1;
};
