#include "ui/editorkeys.h"

#include "ui/actioncatalogue.h"

namespace vidora {

namespace {

// The actions whose plain keys go to the editors' text fields while an
// editor is open; they take the Ctrl key then.
const char *const kEditorKeyActions[] = {"saPlayStop", "saIncVolume", "saDecVolume",
                                         "saOterFichier"};

QKeySequence WithCtrl(const QKeySequence &key)
{
    if (key.isEmpty())
        return key;
    const QKeyCombination first = key[0];
    return QKeySequence(
        QKeyCombination(first.keyboardModifiers() | Qt::ControlModifier, first.key()));
}

} // namespace

void EditorKeys::SetTitlesOpen(bool open)
{
    m_titlesOpen = open;
    Apply();
}

void EditorKeys::SetOverlayEditorOpen(bool open)
{
    m_overlayEditorOpen = open;
    Apply();
}

void EditorKeys::Apply()
{
    const bool ctrl = m_titlesOpen || m_overlayEditorOpen;
    if (ctrl == !m_kept.isEmpty())
        return;
    if (ctrl) {
        for (const char *name : kEditorKeyActions) {
            TCustomSuperAction *action = m_al.Find(QString::fromLatin1(name));
            if (!action)
                continue;
            m_kept.append(
                {QString::fromLatin1(name), action->ShortCut(), action->SecondaryShortcuts()});
            const QKeySequence key = WithCtrl(action->ShortCut());
            // Qt takes a key that one action holds twice as ambiguous.
            QList<QKeySequence> secondary = action->SecondaryShortcuts();
            secondary.removeAll(key);
            action->setShortCut(key);
            action->setSecondaryShortcuts(secondary);
        }
        return;
    }
    for (const Kept &kept : std::as_const(m_kept)) {
        TCustomSuperAction *action = m_al.Find(kept.action);
        if (!action)
            continue;
        action->setShortCut(kept.primary);
        action->setSecondaryShortcuts(kept.secondary);
    }
    m_kept.clear();
}

} // namespace vidora
