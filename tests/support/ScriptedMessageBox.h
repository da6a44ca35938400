#pragma once
// Test double of the station's message box: records every box and answers at once, with
// the answers a test queued (Yes/No boxes answer No when nothing is queued, as the
// default button would). Installs itself for its lifetime.

#include <QList>
#include <QStringList>
#include <functional>

#include "windows/MessageBox.h"

class ScriptedMessageBox final : public platform::MessageBoxService {
public:
    ScriptedMessageBox();
    ~ScriptedMessageBox() override;

    platform::MsgAnswer show(QWidget *parent, const platform::MessageSpec &box) override;

    void answerNext(platform::MsgAnswer answer) { m_answers.append(answer); }
    // Runs inside show(), after recording (e.g. to check state while a box is "open").
    void onShow(std::function<void(const platform::MessageSpec &)> callback) { m_onShow = std::move(callback); }
    // Each box then stays open that long, running an event loop as a real one does (in
    // which timers fire and datagrams arrive).
    void stayOpenFor(int milliseconds) { m_openMilliseconds = milliseconds; }
    // The most boxes that were open at once (since the last clear()).
    int deepest() const { return m_deepest; }

    const QList<platform::MessageSpec> &shown() const { return m_shown; }
    QStringList texts() const;
    int count() const { return int(m_shown.size()); }
    void clear() { m_shown.clear(); m_deepest = m_open; }

private:
    QList<platform::MessageSpec> m_shown;
    QList<platform::MsgAnswer> m_answers;
    std::function<void(const platform::MessageSpec &)> m_onShow;
    int m_openMilliseconds = 0;
    int m_open = 0;
    int m_deepest = 0;
};
