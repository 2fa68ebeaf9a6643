#include "files/enginelist.h"

namespace vidora {

namespace {

std::shared_ptr<TAbstractListFichier> AsListEntry(const EngineEntryPtr &entry)
{
    return std::dynamic_pointer_cast<TAbstractListFichier>(entry);
}

} // namespace

EngineEntryPtr TEngineFichierList::CurrentEntry() const
{
    return m_model.GetFichier(m_model.CurrentRow());
}

std::vector<EngineEntryPtr> TEngineFichierList::SelectedEntries() const
{
    const auto selected = m_model.SelectedEntries();
    return {selected.begin(), selected.end()};
}

std::vector<EngineEntryPtr> TEngineFichierList::AllEntries() const
{
    std::vector<EngineEntryPtr> entries;
    entries.reserve(std::size_t(m_model.Count()));
    for (int row = 0; row < m_model.Count(); ++row)
        entries.push_back(m_model.GetFichier(row));
    return entries;
}

bool TEngineFichierList::Contains(const EngineEntryPtr &entry) const
{
    return m_model.IndexOf(AsListEntry(entry).get()) >= 0;
}

void TEngineFichierList::SetSelected(const EngineEntryPtr &entry, bool selected)
{
    const int row = m_model.IndexOf(AsListEntry(entry).get());
    if (row < 0)
        return;
    m_model.selectionModel()->select(m_model.index(row, 0), selected
                                                                ? QItemSelectionModel::Select
                                                                : QItemSelectionModel::Deselect);
    m_model.UpdateCounts();
}

void TEngineFichierList::DeselectAll()
{
    m_model.selectionModel()->clearSelection();
    m_model.UpdateCounts();
}

void TEngineFichierList::AddEntry(const EngineEntryPtr &entry)
{
    if (auto listed = AsListEntry(entry))
        m_model.AddFichier(listed, false);
}

void TEngineFichierList::ReplaceEntry(const EngineEntryPtr &old, const EngineEntryPtr &replacement)
{
    const auto oldEntry = AsListEntry(old);
    const auto newEntry = AsListEntry(replacement);
    if (!newEntry || m_model.IndexOf(oldEntry.get()) < 0)
        return;
    // Removing the current entry leaves no entry active, so the replacement
    // becomes the current one exactly when the old one was.
    m_model.ReplaceEntry(oldEntry, newEntry);
}

void TEngineFichierList::ResortEntry(const EngineEntryPtr &entry)
{
    const auto listed = AsListEntry(entry);
    if (m_model.SwapEntry(listed, listed) < 0)
        return;
    m_model.SelectEntry(listed);
    m_model.UpdateCounts();
}

void TEngineFichierList::ReloadEntry(const EngineEntryPtr &old, const EngineEntryPtr &replacement)
{
    m_model.SwapEntry(AsListEntry(old), AsListEntry(replacement));
}

void TEngineFichierList::RemoveEntry(const EngineEntryPtr &entry)
{
    m_model.RemoveEntry(AsListEntry(entry));
}

void TEngineFichierList::RefreshActive()
{
    m_model.RefreshActive();
}

void TEngineFichierList::RefreshActiveAndCounts()
{
    m_model.RefreshActive();
    m_model.UpdateCounts();
}

void TEngineFichierList::SetEnabled(bool enabled)
{
    m_enabled = enabled;
    if (OnSetEnabled)
        OnSetEnabled(enabled);
}

EngineEntryFactory TaviEntryFactory(TaviReading reading)
{
    return [reading = std::move(reading)](const QString &path) -> EngineEntryPtr {
        return TAfficherFichier::Create(path, reading);
    };
}

} // namespace vidora
