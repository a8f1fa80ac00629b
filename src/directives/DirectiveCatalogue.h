#pragma once
// The catalogue of directive buttons: for each button its place (the tab
// captions from the top page down), caption, hint and click behaviour. Held
// as data; DirectiveButtons builds the tabs and buttons from it.
//
// A fixed-directive button sends its hint as the directive. A template
// button prepares the input line with its mask and caret and sends nothing.
#include <QString>
#include <QStringList>

#include <vector>

struct DirectiveButton {
    QStringList path; // tab captions, top page first
    QString caption;
    QString hint; // fixed: the directive itself; template: the directive's form
    QString mask; // empty for a fixed directive
    int caret = 0;
    QString name; // objectName; empty: the builder numbers the button

    bool IsTemplate() const { return !mask.isEmpty(); }
};

namespace DirectiveCatalogue {

// The whole catalogue, in tab order.
const std::vector<DirectiveButton>& Buttons();

// Reads catalogue text: "[Tab / Sub-tab / ...]" opens a section, then one
// button per line, fields separated by " | ":
//   caption | directive                    fixed directive
//   caption | hint | mask | caret          template
// optionally followed by " | @objectName". Lines that are empty or start with
// "#" are skipped. Rows that do not read are left out and described in errors.
std::vector<DirectiveButton> Parse(const QString& text, QStringList* errors = nullptr);

} // namespace DirectiveCatalogue
