// The cavity name drawn beside a region in a camera view.
#pragma once

class QPainter;
class QRectF;

// Draws the saved name of `cavity` (0..15) of `camera` on a dark plate just above the top-left corner
// of `regionBox` (view coordinates), or inside it when there is no room above. Regions from the
// seventeenth on have no cavity and get no label.
void DrawCavityName(QPainter &painter, const QRectF &regionBox, int camera, int cavity);
