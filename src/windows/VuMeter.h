#pragma once
// The level bar: a 140x16 blue-green-yellow-orange ramp revealed from the left. Its
// "width" is kept in twips (15 per pixel, 2100 at full scale) as the station computes it.
// Repaints go through update(), which Qt coalesces to the screen's pace.

#include <QWidget>

class VuMeter : public QWidget {
    Q_OBJECT
public:
    explicit VuMeter(QWidget *parent = nullptr);
    void setWidthTwips(int twips);   // clamped to 0..2100
    int widthTwips() const { return m_twips; }
    QSize sizeHint() const override { return QSize(140, 16); }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    int m_twips = 0;
};
