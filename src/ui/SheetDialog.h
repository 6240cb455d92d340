#pragma once

#include <QDialog>
#include <QPointer>

class QFrame;

// A window-modal sheet of the main window, drawn as one: a white panel with a thin border and,
// where the desktop blends translucent windows, a soft shadow around it. It sits centred on
// the part of the main window it belongs to and follows that window when it moves.
class SheetDialog : public QDialog
{
    Q_OBJECT
public:
    explicit SheetDialog(QWidget *parent = nullptr);

    // The sheet's face: subclasses put their layout on it.
    QWidget *panel() const;
    // Fixes the panel at width; its height follows what the panel holds.
    void fitPanelToWidth(int width);
    void setFixedPanelSize(const QSize &size);
    // Centres the panel on area (a widget of the main window), now and whenever the main
    // window moves or changes size. Without an area the sheet centres on its parent window.
    void centreOn(QWidget *area);

protected:
    void showEvent(QShowEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void place();

    // Room around the panel for its shadow; none when the desktop cannot blend it.
    int m_margin = 0;
    QFrame *m_panel;
    QPointer<QWidget> m_area;
    QPointer<QWidget> m_watched;
};
