// Where the camera views go on the screen, and the zoom and pan of the single view: plain geometry.
#pragma once

#include <QList>
#include <QPointF>
#include <QRect>
#include <QSize>
#include <QTransform>

// The rectangles of `cameras` views (1..8, clamped) on a screen of `screen`, in camera order:
// 1 fills the screen; 2 two columns; 3-4 a 2 x 2 grid; 5-6 three columns by two rows; 7-8 four
// columns by two rows. Column and row edges are rounded down, so the views tile the screen exactly.
QList<QRect> CameraViewRects(int cameras, QSize screen);

// The view state of the main window: which view is shown, the zoom z and pan offset of the single
// view, and the mode of the zoom and move buttons. A view point p of the unzoomed view appears at
// offset + z * p.
class ViewState
{
public:
    static constexpr double kMaxZoom = 32.0;
    static constexpr double kZoomStep = 1.2;
    static constexpr double kSnapToOne = 1.1;  // zooming out below this lands on 1
    static constexpr int kFoldBackMs = 30000;   // zoom and move buttons fold back after this
    // One move step at z = 1, in view pixels; a step at zoom z moves the picture z times as far.
    static constexpr double kMoveStep = 20.0;

    enum ButtonMode { ButtonsHidden = 0, ZoomButtonOnly = 1, AllButtons = 2 };

    // Shows every camera (the selection is `cameras`, the all-cameras value) or a single one.
    void ShowAll(int cameras);
    void Select(int camera, int cameras);
    int selected() const { return m_selected; }
    bool singleView() const { return m_cameras == 1 || (m_selected >= 0 && m_selected < m_cameras); }

    // Geometry of view `camera` under the current selection; an empty rectangle hides it. Laying the
    // views out resets zoom and pan and puts the zoom centre in the middle of the single view.
    QRect ViewRect(int camera, QSize screen) const;
    void Relayout(QSize screen);

    // Zoom and pan of the single view.
    double zoom() const { return m_zoom; }
    QPointF offset() const { return m_offset; }
    QPointF centre() const { return m_centre; }
    void SetCentre(QPointF centre) { m_centre = centre; }
    // step > 0 zooms in by 1.2 (up to 32), < 0 zooms out (below 1.1 becomes 1), 0 resets. The
    // zoom centre stays where it is on the screen; at z == 1 the offset is (0, 0) again.
    void Scale(int step);
    // Adds (dx * z, dy * z) move steps to the offset; nothing while z is 1.
    void Move(int dx, int dy);
    // The zoom and pan as a view-to-view transform (identity at z == 1).
    QTransform ZoomTransform() const;

    // Zoom and move buttons. The mode is 0 while the parameter switch (word 473) is off.
    int buttonMode() const { return m_buttonsAllowed ? m_buttonMode : ButtonsHidden; }
    void SetButtonMode(int mode) { m_buttonMode = mode; }
    void SetButtonsAllowed(bool allowed) { m_buttonsAllowed = allowed; }
    // The zoom button: unfolds the seven buttons when only it is shown, else zooms in.
    void PressZoomButton();
    // The fold-back timer ran out: back to the zoom button alone.
    void FoldBack();

private:
    int m_cameras = 1;
    int m_selected = 1;  // == m_cameras: all cameras
    double m_zoom = 1.0;
    QPointF m_offset;
    QPointF m_centre;
    int m_buttonMode = ZoomButtonOnly;
    bool m_buttonsAllowed = true;
};
