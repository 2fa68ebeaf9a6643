#pragma once

// The keys of the actions whose plain keys the editors' text fields need
// (play, the volume, removing a file): while the titles editor or the
// overlay editor is open, those actions take the Ctrl key with their keys;
// once both are closed, their own keys come back.
#include <QKeySequence>
#include <QList>
#include <QString>

namespace vidora {

class TActionList;

class EditorKeys
{
public:
    explicit EditorKeys(TActionList &actions) : m_al(actions) {}

    void SetTitlesOpen(bool open);
    void SetOverlayEditorOpen(bool open);
    bool TitlesOpen() const { return m_titlesOpen; }
    bool OverlayEditorOpen() const { return m_overlayEditorOpen; }

private:
    void Apply();

    struct Kept
    {
        QString action;
        QKeySequence primary;
        QList<QKeySequence> secondary;
    };
    TActionList &m_al;
    QList<Kept> m_kept;
    bool m_titlesOpen = false;
    bool m_overlayEditorOpen = false;
};

} // namespace vidora
