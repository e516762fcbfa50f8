// The camera renumbering screen: which position each open camera takes at the next start.
#pragma once

#include <QFrame>
#include <array>
#include <functional>

class ComboBox;
class QLabel;
class QPushButton;

class WidgetChangeCamera : public QFrame
{
    Q_OBJECT
public:
    explicit WidgetChangeCamera(QWidget *parent = nullptr);

    // Shuts the station down after the new numbering was saved (the settings screen's power-off,
    // which asks first); installed by the main window.
    std::function<void()> shutDown;

    // Takes a copy of gCamNO and shows one choice per open camera.
    void Open();

    // The number chosen for camera `index`, 0-based, in the screen's copy.
    int number(int index) const { return m_numbers[index]; }
    ComboBox *choice(int index) const { return m_choices[index]; }
    QPushButton *okButton() const { return m_ok; }
    QPushButton *cancelButton() const { return m_cancel; }

public slots:
    // Camera `index` is to take position `number` (0-based); only the copy changes.
    void SetCameraNO(int index, int number);
    void SetCameraNO0(int n) { SetCameraNO(0, n); }
    void SetCameraNO1(int n) { SetCameraNO(1, n); }
    void SetCameraNO2(int n) { SetCameraNO(2, n); }
    void SetCameraNO3(int n) { SetCameraNO(3, n); }
    void SetCameraNO4(int n) { SetCameraNO(4, n); }
    void SetCameraNO5(int n) { SetCameraNO(5, n); }
    void SetCameraNO6(int n) { SetCameraNO(6, n); }
    void SetCameraNO7(int n) { SetCameraNO(7, n); }
    // A number taken twice is refused and the screen stays; otherwise the numbering is kept in
    // gCamNO, the serial numbers are saved by it and the station shuts down to apply it.
    void SlotOK();
    // Leaves gCamNO as it was.
    void SlotCancel();

signals:
    void closed();

private:
    int cameraCount() const;

    std::array<int, 8> m_numbers{};
    std::array<QLabel *, 8> m_labels{};
    std::array<ComboBox *, 8> m_choices{};
    QPushButton *m_ok = nullptr;
    QPushButton *m_cancel = nullptr;
};
