// The frame both IO dialogs share: over the main window it dims the screen and holds a card in the
// middle; it opens from the settings screen, which makes way and comes back when it closes.
#pragma once

#include <QFrame>
#include <QPointer>

class ColorButton;
class QLabel;
class QVBoxLayout;

class IoDialogFrame : public QFrame
{
    Q_OBJECT
public:
    // `title`: text-table row of the card's heading.
    IoDialogFrame(const QString &objectName, int title, QWidget *parent);

    // Reads the edit copy (init) and shows the dialog over the window of `opener`, which is hidden
    // while the dialog is up.
    void open(QWidget *opener);

    ColorButton *confirmButton() const { return m_confirm; }
    ColorButton *cancelButton() const { return m_cancel; }

signals:
    // The dialog hid itself (Confirm or Cancel).
    void closed();

protected:
    QVBoxLayout *content() const { return m_content; }
    // Fills the fields from the edit copy.
    virtual void load() = 0;
    // Writes the fields into the edit copy; false keeps the dialog open.
    virtual bool store() = 0;
    void finish();
    void showEvent(QShowEvent *event) override;

    QLabel *m_title;

private:
    QFrame *m_card;
    QVBoxLayout *m_content;
    ColorButton *m_confirm, *m_cancel;
    QPointer<QWidget> m_opener;
};
