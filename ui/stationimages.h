// The station's images, loaded once at start-up from ./images/.
#pragma once

#include <QPixmap>

struct StationImages
{
    QPixmap logo, background, title, line, edit;
    QPixmap sliderUp, sliderDown, sliderTrack;
    QPixmap buttonUp, buttonDown;
    QPixmap outputOn, outputOff;
    QPixmap origin, moveUp, moveDown, moveLeft, moveRight, enlarge, reduce;
};

// Created by LoadStationImages(); null before.
extern StationImages *gpImages;

// Loads every image; a missing file gives an empty pixmap.
void LoadStationImages();
