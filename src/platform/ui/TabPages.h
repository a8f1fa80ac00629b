#pragma once
// The pages of nested tab controls, found and made by their captions: the
// window's tabs and the sub-tabs the features put on them.
#include <QStringList>

class QBoxLayout;
class QWidget;

// The page at the end of path (captions from the window's top tabs down), or
// null when one is missing.
QWidget* FindTabPage(QWidget* window, const QStringList& path);
// The same, making the sub-tabs that are missing (named "PageControl a/b" and
// "TabSheet a/b/c"); the top tabs are never made: null when one is missing.
QWidget* MakeTabPage(QWidget* window, const QStringList& path);
// The page's box layout, made vertical when it has none; null when it has a
// layout of another kind.
QBoxLayout* PageLayout(QWidget* page);
// Adds w to the page, before a closing stretch when there is one.
void AddToPage(QWidget* page, QWidget* w);
