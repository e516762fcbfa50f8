// The cavity-names editor: sixteen names per camera, edited in the scratch table until Confirm.
#pragma once

#include <QFrame>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <array>

class ColorButton;
class ComboBox;
class QLabel;
class QLineEdit;

class EditCavitywidget : public QFrame
{
    Q_OBJECT
public:
    // Opens CavityDatabase.db (Databaseinit) and builds the page; init() is the caller's next step.
    explicit EditCavitywidget(QWidget *parent = nullptr);

    // Opens the database: a damaged file is set aside and made anew, and the operation record says so.
    void Databaseinit();
    // Saved names into the scratch table, then the current camera's names into the fields.
    void init();
    // Copies every camera's row from table `from` into table `to` (saved names relabel the buttons).
    void Initialize(const QString &from, const QString &to);
    // The current camera's scratch names into the sixteen fields.
    void changeCamera();

    // The screen to show again when the editor closes (may be null).
    void setOpener(QWidget *opener) { m_opener = opener; }

    int camera() const { return m_camera; }
    QLineEdit *field(int position) const { return m_fields[position]; }
    QLabel *label(int position) const { return m_labels[position]; }
    ComboBox *cameraSelector() const { return m_selector; }
    ColorButton *confirmButton() const { return m_confirm; }
    ColorButton *cancelButton() const { return m_cancel; }

public slots:
    void SlotChangeCam(int camera);
    void Accept();
    void Reject();

signals:
    // The editor hid itself (Confirm or Cancel).
    void closed();

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    void storeFields();
    void close();
    void retranslate();

    QString m_tableName1;  // saved names
    QString m_tableName2;  // the editor's scratch copy
    int m_camera = 0;
    std::array<QLineEdit *, 16> m_fields{};
    std::array<QLabel *, 16> m_labels{};
    QStringList m_names;
    QLabel *m_title;
    ComboBox *m_selector;
    ColorButton *m_confirm, *m_cancel;
    QPointer<QWidget> m_opener;
};

// The one editor of the station, created by the main window at start-up (Databaseinit and init
// run here). Later calls return the same editor.
EditCavitywidget *CreateCavityEditor(QWidget *mainWindow);
// Opens the editor over the main window from `opener` (the settings screen), which is hidden and
// shown again when the editor closes. Creates the editor when the main window did not.
void OpenCavityNames(QWidget *opener);
