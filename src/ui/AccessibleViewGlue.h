#pragma once

#include "ui/AccessibleView.h"

#include <atk/atk.h>
#include <gtk/gtk.h>

#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

// What ties a view to the accessible objects GTK hands to screen readers: the canvas's object
// (AccessibleCanvas) and one for each row a reader has seen (AccessibleRow). They ask the view
// through this for as long as both live.
struct AccessibleView::Glue
{
    AccessibleView* view;
    Kind kind;
    GtkWidget* widget = nullptr;
    // Ours once GTK has made it, that is once a screen reader has asked; not owned.
    AtkObject* accessible = nullptr;

    // The rows as a screen reader was last told of them: they stay so, rows deleted meanwhile
    // included (as defunct), until it is told what changed, so that a count it asked for holds
    // while it asks for each row.
    bool rowsKnown = false;
    std::vector<Row> rows;
    std::unordered_map<Row, size_t> index;
    std::unordered_set<Row> deleted;
    // The rows' accessible objects that a screen reader has seen, each with the name it was told.
    std::unordered_map<Row, AtkObject*> rowObjects;
    std::unordered_map<Row, std::string> toldNames;
    // What each row's description said when last asked: kept for as long as ATK may hold it.
    std::unordered_map<Row, std::string> toldDescriptions;
    Row current = nullptr;
    bool flushPending = false;

    Glue(AccessibleView* v, Kind k);
    ~Glue();

    // The glue of a canvas's accessible object, if the canvas speaks for a view still alive.
    static Glue* Of(AtkObject* accessible);
    // Whether glue is still alive: for what was put off until after a reader's call.
    static bool IsLive(const Glue* glue);

    const std::vector<Row>& Rows();
    // Whether row, one the view gives now, is one the reader may be told of.
    bool IsLiveRow(Row row);
    AtkObject* RowObject(Row row);
    void ScheduleFlush();
    // Tells the reader of rows added and removed.
    void Flush();
    // Tells the reader of rows it has seen that read differently now.
    void TellRenamed();
};

namespace AccessibleCanvas
{
// Makes every canvas of the toolkit get an accessible object of ours from now on.
void Install(GtkWidget* canvas);
}

namespace AccessibleRow
{
// A new accessible object for row of glue's view, with the canvas's object as its parent.
AtkObject* Make(AccessibleView::Glue* glue, AccessibleView::Row row);
// A row that says it is gone, for a reader that asks after one that went.
AtkObject* Gone(AtkObject* parent);
// Tells the reader the row is gone for good and lets go of it.
void Forget(AtkObject* object);
}
