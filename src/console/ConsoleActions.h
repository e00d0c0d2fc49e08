#pragma once

#include <QCoroTask>
#include <QObject>

class Engine;
class ConsoleWindow;
class OperatorActions;

// Wires the console's links to the operator actions: "Display Bal.",
// "Delete this SMS", "Chnage Password " and "Re-Check For Undiliverd". The
// questions and messages go through the prompt; a failure is shown in a
// message box and never ends the program.
class ConsoleActions : public QObject
{
    Q_OBJECT
public:
    ConsoleActions(ConsoleWindow& console, Engine& engine);
    ~ConsoleActions() override;

    QCoro::Task<> displayBalance();
    QCoro::Task<> deleteShownNumber();
    void changePassword();
    void recheck();

private:
    ConsoleWindow& m_console;
    Engine& m_engine;
    std::unique_ptr<OperatorActions> m_actions;
    bool m_deleting = false;
};
