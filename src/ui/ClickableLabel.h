#pragma once

#include <QLabel>

// A label that reacts to a left click, for the link-like captions of the
// screens ("Display Bal.", "Delete this SMS", ...). A disabled or hidden
// label takes no clicks.
class ClickableLabel : public QLabel
{
    Q_OBJECT
public:
    explicit ClickableLabel(const QString& text = QString(), QWidget* parent = nullptr);
    // As Designer forms create their widgets.
    explicit ClickableLabel(QWidget* parent);

Q_SIGNALS:
    void clicked();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    bool m_pressed = false;
};
