#pragma once

#include <QPointer>
#include <QWidget>

// The one main window. Its content is the launch screen or the main content; sizes are fixed
// by equal minimum and maximum sizes.
class CustomWindow : public QWidget
{
    Q_OBJECT
public:
    explicit CustomWindow(QWidget *parent = nullptr);

    void setContent(QWidget *content);
    QWidget *content() const { return m_content; }
    void setFixedContentSize(int width, int height);

signals:
    void contentChanged(QWidget *content);

private:
    QPointer<QWidget> m_content;
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
