#pragma once

#include <wx/modalhook.h>

#include <functional>
#include <vector>

// The modal dialogs open right now, whoever opened them (the toolkit's log box, the plug-in's
// questions and its sign-in). Each runs an event loop of its own, which closing the windows does
// not end: a program asked to stop ends them here first.
class ModalDialogs : public wxModalDialogHook
{
public:
    // allEnded runs on the main thread once the last dialog that EndAll ended has gone.
    explicit ModalDialogs(const std::function<void()>& allEnded);

    // Ends every open dialog as if it had been cancelled, and answers every later one at once
    // with a cancel; false when none was open.
    bool EndAll();

protected:
    int Enter(wxDialog* dialog) override;
    void Exit(wxDialog* dialog) override;

private:
    std::function<void()> m_allEnded;
    std::vector<wxDialog*> m_open;
    bool m_ending = false;
    bool m_refusing = false;
};
