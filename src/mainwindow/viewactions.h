#pragma once

#include <QObject>

class InspectorWidget;
class JumpWidget;
class MainWindow;
class SearchWidget;
class StatusFields;

// How the user looks at the bytes: the font, the preferences, the docks'
// settings, Copy, Find and Go to, and the status bar fields and the inspector
// that follow the cursor.
class ViewActions : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY(ViewActions)

public:
    ViewActions(MainWindow *window, SearchWidget *search_panel, JumpWidget *goto_panel,
                InspectorWidget *inspector);

    // The permanent status bar fields: cursor, selection, size.
    void build_status_fields();
    StatusFields *status_fields() const { return m_status_fields; }

public slots:
    void font_action();
    void prefs_action();
    void copy_action();
    // The search expression takes the keyboard; the last search runs again
    // from its last hit; the goto address takes the keyboard.
    void find_action();
    void find_next_action();
    void goto_action();
    void dock_toplevel(bool toplevel);
    void dock_tree_action(bool visible);
    void dock_search_action(bool visible);
    // The cursor or the file changed: status fields and inspector follow.
    void follow_cursor();

private:
    void update_status_fields();

    MainWindow *m_window;
    SearchWidget *m_search_panel;
    JumpWidget *m_goto_panel;
    InspectorWidget *m_inspector;
    StatusFields *m_status_fields = nullptr;
};
