#pragma once

#include <QPointer>
#include <QWidget>

// The one main window. Its content is the launch screen or the main content; sizes are fixed
// by equal minimum and maximum sizes. It stays where the user put it: a new size keeps its
// centre, and its place is remembered across hiding and restarts (kept on a screen).
class CustomWindow : public QWidget
{
    Q_OBJECT
public:
    explicit CustomWindow(QWidget *parent = nullptr);

    void setContent(QWidget *content);
    QWidget *content() const { return m_content; }
    void setFixedContentSize(int width, int height);
    // Stores where the window is (also done when it hides and when the application ends).
    void rememberPlace() const;

signals:
    void contentChanged(QWidget *content);

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    // Puts the window's centre at centre, moved as little as needed to lie on a screen.
    void centreAt(QPoint centre);

    QPointer<QWidget> m_content;
    bool m_placed = false;
};

class MainWindowController : public QObject
{
    Q_OBJECT
public:
    explicit MainWindowController(QObject *parent = nullptr);
    ~MainWindowController() override;

    CustomWindow *window() const { return m_window; }
    void showWindow();

private:
    QPointer<CustomWindow> m_window;
};
