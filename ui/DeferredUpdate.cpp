// The deferred-update queue.
#include "ui/DeferredUpdate.h"

#include <algorithm>
#include <deque>
#include <vector>

#include "ui/SubPane.h"

namespace {

std::vector<DeferredUpdate*> queue;
// What each running turn took and has not run yet; a modal loop inside an
// update runs a nested turn, which pushes its own round.
std::deque<std::vector<DeferredUpdate*>> rounds;

bool Contains(const std::vector<DeferredUpdate*>& list, const DeferredUpdate* entry) {
  return std::find(list.begin(), list.end(), entry) != list.end();
}

template <class Predicate>
void EraseEverywhere(Predicate matches) {
  queue.erase(std::remove_if(queue.begin(), queue.end(), matches), queue.end());
  for (auto& round : rounds) round.erase(std::remove_if(round.begin(), round.end(), matches), round.end());
}

}  // namespace

DeferredUpdate::~DeferredUpdate() { RemoveDeferredUpdate(this); }

void AddDeferredUpdate(DeferredUpdate* entry) {
  if (entry && !IsDeferredUpdateQueued(entry)) queue.push_back(entry);
}

void RemoveDeferredUpdate(DeferredUpdate* entry) {
  EraseEverywhere([entry](const DeferredUpdate* queued) { return queued == entry; });
}

void RemoveDeferredUpdatesOf(const SubPane* owner) {
  if (!owner) return;
  EraseEverywhere([owner](const DeferredUpdate* queued) { return queued->Owner() == owner; });
}

bool IsDeferredUpdateQueued(const DeferredUpdate* entry) {
  if (Contains(queue, entry)) return true;
  return std::any_of(rounds.begin(), rounds.end(),
                     [entry](const std::vector<DeferredUpdate*>& round) {
                       return Contains(round, entry);
                     });
}

int DeferredUpdateCount() {
  size_t count = queue.size();
  for (const auto& round : rounds) count += round.size();
  return int(count);
}

void RunDeferredUpdates() {
  rounds.emplace_back();
  const size_t depth = rounds.size() - 1;
  rounds[depth].swap(queue);
  while (!rounds[depth].empty()) {
    DeferredUpdate* entry = rounds[depth].front();
    rounds[depth].erase(rounds[depth].begin());
    OwnerChainLock lock(entry->Owner());
    entry->RunUpdate();
  }
  rounds.pop_back();
}
