#pragma once

#include <QLineEdit>

class QToolButton;

// A password or PIN field that shows its text in clear or as bullets, with an eye button at
// its right end. Three properties decide what the user sees (see updateCell()).
class ZelSecureTextField : public QLineEdit
{
    Q_OBJECT
    Q_PROPERTY(bool displayToggleButton READ displayToggleButton WRITE setDisplayToggleButton)
    Q_PROPERTY(bool allowShowPassword READ allowShowPassword WRITE setAllowShowPassword)
    Q_PROPERTY(bool passwordIsVisible READ passwordIsVisible WRITE setPasswordIsVisible)
public:
    explicit ZelSecureTextField(QWidget *parent = nullptr);

    bool displayToggleButton() const { return m_displayToggleButton; }
    bool allowShowPassword() const { return m_allowShowPassword; }
    bool passwordIsVisible() const { return m_passwordIsVisible; }
    void setDisplayToggleButton(bool display);
    // Turning it off also hides the text.
    void setAllowShowPassword(bool allow);
    void setPasswordIsVisible(bool visible);

    // The eye button's action: on shows the text.
    void visibilityChanged(bool on);
    QToolButton *toggleButton() const { return m_toggle; }

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    void updateCell();
    void placeToggle();

    bool m_displayToggleButton = true;
    bool m_allowShowPassword = true;
    bool m_passwordIsVisible = false;
    QToolButton *m_toggle;
};
