// An IPv4 address editor: a title and four octet fields, typed on the number pad.
#pragma once

#include <QColor>
#include <QString>
#include <QWidget>

class QLabel;
class QLineEdit;

class EditIP : public QWidget
{
    Q_OBJECT
public:
    explicit EditIP(const QString &title = QString(), QWidget *parent = nullptr);

    // "a.b.c.d"; missing or empty parts leave their octets empty.
    void setTextIP(const QString &address);
    // The four octets joined with dots; an empty octet counts as 0.
    QString getTextIP() const;
    void setTitleColor(const QColor &color);
    QLineEdit *octet(int index) const { return m_octets[index]; }

public slots:
    // An octet above 255 is shown as 255.
    void SlotTextChg_0(const QString &text) { limitOctet(0, text); }
    void SlotTextChg_1(const QString &text) { limitOctet(1, text); }
    void SlotTextChg_2(const QString &text) { limitOctet(2, text); }
    void SlotTextChg_3(const QString &text) { limitOctet(3, text); }
    // The dot key: an empty octet becomes "0" and the next octet takes over.
    void SlotPressDot_0() { pressDot(0); }
    void SlotPressDot_1() { pressDot(1); }
    void SlotPressDot_2() { pressDot(2); }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void limitOctet(int index, const QString &text);
    void pressDot(int index);

    QLabel *m_title;
    QLineEdit *m_octets[4];
};
