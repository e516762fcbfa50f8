#include "ui/stationimages.h"

StationImages *gpImages = nullptr;

void LoadStationImages()
{
    if (!gpImages)
        gpImages = new StationImages;
    const struct { QPixmap *pixmap; const char *file; } files[] = {
        {&gpImages->logo, "logo.bmp"},           {&gpImages->background, "background.png"},
        {&gpImages->title, "title.png"},         {&gpImages->line, "line.png"},
        {&gpImages->edit, "edit.png"},           {&gpImages->sliderUp, "slideru.png"},
        {&gpImages->sliderDown, "sliderd.png"},  {&gpImages->sliderTrack, "slidert.png"},
        {&gpImages->buttonUp, "buttonu.png"},    {&gpImages->buttonDown, "buttond.png"},
        {&gpImages->outputOn, "OUT1.png"},       {&gpImages->outputOff, "OUT0.png"},
        {&gpImages->origin, "Origin.png"},       {&gpImages->moveUp, "MoveUp.png"},
        {&gpImages->moveDown, "MoveDown.png"},   {&gpImages->moveLeft, "MoveLeft.png"},
        {&gpImages->moveRight, "MoveRight.png"}, {&gpImages->enlarge, "EnlargeScale.png"},
        {&gpImages->reduce, "ReductionScale.png"},
    };
    for (const auto &f : files)
        f.pixmap->load(QStringLiteral("./images/") + QLatin1String(f.file));
}
