#pragma once

#include <QPointer>
#include <QWidget>

class GotoTool;
class HexWidget;
class QLineEdit;
class QStatusBar;

// The "Goto" page of the side toolbox, the view of a GotoTool: the address
// typed here goes to the tool, whose jump selects the byte in the hex widget
// (its row scrolled to the top) and whose refusal leaves the view alone and
// says why on the status bar.
class JumpWidget : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY(JumpWidget)

public:
    explicit JumpWidget(QWidget *parent = nullptr);

    // The tool checks addresses against the widget's edited file.
    void set_hex_widget(HexWidget *hex_widget);
    GotoTool *tool() const { return m_tool; }
    void set_status_bar(QStatusBar *status_bar);
    // Puts the keyboard in the address field with its text selected.
    void focus_address();

private slots:
    void jump();

private:
    void show_status(const QString &text);

    QLineEdit *address_edit = nullptr;
    GotoTool *m_tool = nullptr;
    QPointer<HexWidget> m_hex_widget;
    QPointer<QStatusBar> m_status_bar;
};
