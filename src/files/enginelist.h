#pragma once

// The program's file list as the command engine sees it: the list model and
// its selection behind IEngineList, and the factory of the entries the
// engine makes (video entries read with the probe graph).
#include "files/avifichier.h"
#include "files/engineinterfaces.h"
#include "files/fichierlistmodel.h"

#include <functional>

namespace vidora {

// Every operation runs on the GUI thread, as the engine calls them. The
// engine's entries are the model's own (TAbstractListFichier is an
// IEngineEntry); an entry of another class is never in the list.
class TEngineFichierList final : public IEngineList
{
public:
    explicit TEngineFichierList(TFichierListModel &model) : m_model(model) {}

    // Tells the list's view to let the user change the list, or not.
    std::function<void(bool enabled)> OnSetEnabled;
    bool Enabled() const { return m_enabled; }

    EngineEntryPtr CurrentEntry() const override;
    std::vector<EngineEntryPtr> SelectedEntries() const override;
    std::vector<EngineEntryPtr> AllEntries() const override;
    bool Contains(const EngineEntryPtr &entry) const override;
    void SetSelected(const EngineEntryPtr &entry, bool selected) override;
    void DeselectAll() override;
    void AddEntry(const EngineEntryPtr &entry) override;
    void ReplaceEntry(const EngineEntryPtr &old, const EngineEntryPtr &replacement) override;
    void ResortEntry(const EngineEntryPtr &entry) override;
    void ReloadEntry(const EngineEntryPtr &old, const EngineEntryPtr &replacement) override;
    void RemoveEntry(const EngineEntryPtr &entry) override;
    void RefreshActive() override;
    void RefreshActiveAndCounts() override;
    void SetEnabled(bool enabled) override;

private:
    TFichierListModel &m_model;
    bool m_enabled = true;
};

// Makes the engine's new entries: video entries (TAfficherFichier) read with
// `reading`, by default through the probe graph. Safe on the worker thread:
// the reading takes the entry-reading lock.
EngineEntryFactory TaviEntryFactory(TaviReading reading = {});

} // namespace vidora
