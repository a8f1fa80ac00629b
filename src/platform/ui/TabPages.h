#pragma once
// The pages of the window's tab controls, by caption path from the top tabs
// down, as they are made: the window enters its own, the features make the
// sub-tabs they need through it. The directive catalogue names its pages by
// such paths; nothing searches the widget tree.
#include <QStringList>

#include <map>

class QBoxLayout;
class QTabWidget;
class QWidget;

class TabPages {
public:
    // Enters every page of tabs under parent + its caption; parent's own
    // sub-tabs are then tabs.
    void AddTabs(const QStringList& parent, QTabWidget* tabs);
    // The page at path, or null.
    QWidget* Find(const QStringList& path) const;
    // The same, making the sub-tabs that are missing (named "PageControl a/b"
    // and "TabSheet a/b/c"); top tabs are never made: null when one is missing.
    QWidget* Make(const QStringList& path);

private:
    struct Entry {
        QWidget* page = nullptr;
        QTabWidget* subTabs = nullptr; // made when first needed
    };
    std::map<QStringList, Entry> m_pages;
};

// The page's box layout, made vertical when it has none; null when it has a
// layout of another kind.
QBoxLayout* PageLayout(QWidget* page);
// Adds w to the page, before a closing stretch when there is one.
void AddToPage(QWidget* page, QWidget* w);
