// The page manager's lists after a commit, checked in debug builds (engine/foundation/
// invariants.h) at the end of ApplyChanges: the design notes of page_manager.h as the lists
// must show them once a session's changes are in storage.
#include <string>

#include "engine/core/page_manager.h"
#include "engine/foundation/invariants.h"

namespace qdx {

namespace {

std::string AtPage(const TQDXPage& page, const char* what) {
  return "page lists, page " + std::to_string(page.PageNo) + ": " + what;
}

}  // namespace

void TQDXPageManager::CheckPageListsAfterCommit(const Session& committed) const {
  RequireInvariant(committed.dirty.Count() == 0 && committed.removedPages.empty() &&
                       committed.newPages.empty(),
                   "page lists: the committed session still has changes");
  int32_t shared = 0;
  sharedList_.ForEach([&](TQDXPage* page) {
    ++shared;
    RequireInvariant(page->List == TQDXPageList::Shared && sharedList_.Find(page->PageNo) == page,
                     AtPage(*page, "a shared page the list does not find"));
    // A shared page changes only while a session holds it; its PutPage moves it to that
    // session's dirty list.
    RequireInvariant(!page->Dirty || page->UseCount > 0, AtPage(*page, "a changed shared page"));
  });
  RequireInvariant(shared == sharedList_.Count(), "page lists: the shared list's count");
  for (const auto& [sessionID, session] : sessions_) {
    const TQDXSortedPageList& dirty = session->dirty;
    for (int32_t i = 0; i < dirty.Count(); ++i) {
      const TQDXPage* page = dirty.Page(i);
      RequireInvariant(page->List == TQDXPageList::Dirty && dirty.Find(page->PageNo) == page &&
                           sharedList_.Find(page->PageNo) != page,
                       AtPage(*page, "a dirty page in the wrong list"));
      RequireInvariant(i == 0 || dirty.Page(i - 1)->PageNo < page->PageNo,
                       AtPage(*page, "the dirty list out of order"));
    }
  }
}

}  // namespace qdx
