#pragma once

#include <QWidget>

class QLabel;
class StartupPresenter;

// The launch screen: the logo, the first device synchronisation, and 1.5 seconds after it
// appears the choice of what the user sees first.
class ViewController : public QWidget
{
    Q_OBJECT
public:
    static constexpr int startupDelayMs = 1500;

    explicit ViewController(StartupPresenter *presenter, QWidget *parent = nullptr);

    void decideFirstWindow();

    QLabel *appLogoImageView = nullptr;

signals:
    // The first window was chosen and made.
    void firstWindowChosen();

protected:
    void showEvent(QShowEvent *event) override;

private:
    void viewDidLoad();
    void viewDidAppear();

    StartupPresenter *m_presenter;
};
