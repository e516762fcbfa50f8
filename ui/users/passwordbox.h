// The password box, which sets the station's login level, and the one-time password prompt.
#pragma once

#include <QDialog>
#include <QString>

#include <functional>

class LoginLevels;
class QLabel;
class QLineEdit;
class QPushButton;

// One password field with "Confirm" and "Cancel". A wrong password clears the field, says so in
// the placeholder and keeps the prompt open.
class PasswordPrompt : public QDialog
{
    Q_OBJECT
public:
    QLineEdit *field() const { return m_field; }
    QPushButton *confirmButton() const { return m_confirm; }
    QPushButton *cancelButton() const { return m_cancel; }

    // Without a person at the panel (tests, unattended runs) an answerer types for the operator:
    // it returns the text to enter, or a null QString to cancel. It is asked again after a wrong
    // password, at most ten times.
    using Answerer = std::function<QString(const PasswordPrompt &prompt)>;
    static void setAnswerer(Answerer answerer);

    int exec() override;

protected:
    explicit PasswordPrompt(QWidget *parent);
    void showEvent(QShowEvent *event) override;
    // The level the typed text gives; 0 keeps the prompt open.
    virtual int check(const QString &typed) = 0;
    void accept() override;

private slots:
    void openPad();
    void padConfirmed();

private:
    QLineEdit *m_field;
    QPushButton *m_confirm;
    QPushButton *m_cancel;
};

// `gpPasswordBox`: accepting sets the login level (0 for a wrong password).
class PasswordBox : public PasswordPrompt
{
    Q_OBJECT
public:
    // `levels` is borrowed and outlives the box.
    explicit PasswordBox(LoginLevels &levels, QWidget *parent = nullptr);

protected:
    int check(const QString &typed) override;

private:
    LoginLevels &m_levels;
};

// The one-time password: result() after exec is 0 (none), 1 (primary password) or 2 (service
// code); the login level does not change.
class PasswordDialog : public PasswordPrompt
{
    Q_OBJECT
public:
    explicit PasswordDialog(const LoginLevels &levels, QWidget *parent = nullptr);
    int passwordResult() const { return m_result; }

protected:
    int check(const QString &typed) override;

private:
    const LoginLevels &m_levels;
    int m_result = 0;
};

extern PasswordBox *gpPasswordBox;
