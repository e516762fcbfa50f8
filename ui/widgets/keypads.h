// The station's on-screen keypads: NumberInput (digits, gpNumPad) and NumCharInput (letters, digits
// and punctuation, gpNumCharPad). They type into the line edit they serve, which keeps the focus.
#pragma once

#include <QFrame>
#include <QLineEdit>
#include <QPointer>
#include <QString>

#include <functional>
#include <optional>
#include <vector>

class ColorButton;
class QGridLayout;

// What both keypads share: the field they serve and the rule that the first key after opening
// replaces the field's content.
class KeypadBase : public QFrame
{
    Q_OBJECT
public:
    // Starts serving `field`; the next key replaces its content. A keypad that is a window of its own
    // shows itself next to the field, above any modal dialog the field is in, and hides when the
    // field is hidden.
    void serve(QLineEdit *field);
    QLineEdit *target() const { return m_target; }
    // Stops serving and hides, without a range check (the field went out of sight).
    void release();
    // The key showing `caption` (tests press keys by their captions).
    ColorButton *key(const QString &caption) const;

public slots:
    // Number fields (EditParam): the first key makes the value the digit, each further key
    // value x 10 + digit. Other line edits: the first key replaces the text, further keys append.
    void setContent(const QString &key);
    void eraseContent();
    void eraseAll();
    // Closes the keypad and lets the field check its range.
    void HideUpdate();

signals:
    void closed();

protected:
    explicit KeypadBase(QWidget *parent);
    ColorButton *addKey(QGridLayout *grid, const QString &caption, int row, int column, int columnSpan = 1);
    ColorButton *addCharKey(QGridLayout *grid, const QString &text, int row, int column, int columnSpan = 1);
    bool eventFilter(QObject *watched, QEvent *event) override;
    void retranslate();
    void changeEvent(QEvent *event) override;

    struct Caption
    {
        ColorButton *button;
        int row;
    };
    std::vector<Caption> m_captions;  // keys labelled from the text table
    QPointer<QLineEdit> m_target;
    bool m_firstKey = true;

private:
    void placeNear(QLineEdit *field);
};

class NumberInput : public KeypadBase
{
    Q_OBJECT
public:
    explicit NumberInput(QWidget *parent = nullptr);

    // A modal pad with its own field: the value typed, clamped into [min, max]. False when cancelled.
    static bool getValue(QWidget *parent, const QString &title, int *value, int min, int max);
};

class NumCharInput : public KeypadBase
{
    Q_OBJECT
public:
    explicit NumCharInput(QWidget *parent = nullptr);

    // A modal pad with its own field (hidden characters for a password): the text typed into *text.
    // False when cancelled; *text is then unchanged.
    static bool getText(QWidget *parent, const QString &title, QString *text, bool password);

    // Without a person at the panel (tests, unattended runs) an answerer takes the modal pads of
    // getText and getValue: it gets the title and returns the text typed, or nothing to cancel.
    // MOULD_AUTO_CONFIRM=1 without an answerer cancels them.
    using Answerer = std::function<std::optional<QString>(const QString &title, bool password)>;
    static void setAnswerer(Answerer answerer);
    static const Answerer &answerer();

    bool capitals() const { return m_capitals; }
    bool punctuation() const { return m_punctuation; }

public slots:
    void SlotCap();
    void SlotChgChar_Punc();

private:
    void relabel();

    std::vector<ColorButton *> m_charKeys[3];  // the letter rows, in punctuation mode the symbol rows
    ColorButton *m_capKey, *m_puncKey;
    bool m_capitals = false;
    bool m_punctuation = false;
};

// Created once by CreateKeypads(); they live as long as the process.
extern NumberInput *gpNumPad;
extern NumCharInput *gpNumCharPad;

// Creates both keypads and lets a touch on a line edit open the matching one: the number pad for
// fields with the property mouldKeypad "number" (number boxes, IP octets), none for "none", the
// text pad for the others.
void CreateKeypads();
