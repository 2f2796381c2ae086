#pragma once

#include <QtTest>
#include <QWidget>

// What a window system delivers for a double-click: press, release, then a
// second press followed by the double-click event and its release. A bare
// double-click event is taken by item views as a plain press.
inline void doubleClick(QWidget *target, QPoint pos = {})
{
    QTest::mouseClick(target, Qt::LeftButton, {}, pos);
    QTest::mousePress(target, Qt::LeftButton, {}, pos);
    QTest::mouseDClick(target, Qt::LeftButton, {}, pos);
    QTest::mouseRelease(target, Qt::LeftButton, {}, pos);
}
