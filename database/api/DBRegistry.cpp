// The open-database registry and its walk at exit.
#include "database/api/DBRegistry.h"

#include "database/api/Database.h"
#include "database/api/RecordSet.h"
#include "host/RuntimeMain.h"

namespace {

struct RegistryNode {
  RegistryNode* next;
  RuntimeObject* object;  // not held
};

void Prepend(RegistryNode** head, RuntimeObject* object) {
  *head = new RegistryNode{*head, object};
}

bool RemoveFrom(RegistryNode** head, const RuntimeObject* object) {
  for (RegistryNode** link = head; *link; link = &(*link)->next) {
    if ((*link)->object != object) continue;
    RegistryNode* node = *link;
    *link = node->next;
    delete node;
    return true;
  }
  return false;
}

std::vector<ObjectRef> Snapshot(const RegistryNode* head) {
  std::vector<ObjectRef> objects;
  for (const RegistryNode* node = head; node; node = node->next)
    objects.push_back(ObjectRef::Retain(node->object));
  return objects;
}

void FreeList(RegistryNode** head) {
  while (RegistryNode* node = *head) {
    *head = node->next;
    delete node;
  }
}

}  // namespace

class DBShutdownContext : public ShutdownHook {
 public:
  DBShutdownContext() : ShutdownHook("dbShutdownContext") {
    nextContext_ = contexts;
    contexts = this;
  }
  ~DBShutdownContext() override;

  static DBShutdownContext* singleton;
  static DBShutdownContext* contexts;  // every live registry

  RegistryNode* databases = nullptr;
  RegistryNode* cursors = nullptr;
  DBShutdownContext* nextContext_ = nullptr;
};

DBShutdownContext* DBShutdownContext::singleton = nullptr;
DBShutdownContext* DBShutdownContext::contexts = nullptr;

DBShutdownContext::~DBShutdownContext() {
  // Every set first: a set's engine cursor may need its database.
  for (ObjectRef& cursor : Snapshot(cursors)) cursorClose(cursor.get());
  for (ObjectRef& database : Snapshot(databases)) databaseClose(database.get());
  FreeList(&cursors);
  FreeList(&databases);
  if (singleton == this) singleton = nullptr;
  for (DBShutdownContext** link = &contexts; *link; link = &(*link)->nextContext_) {
    if (*link == this) {
      *link = nextContext_;
      break;
    }
  }
}

DBShutdownContext* GetDBShutdownContext() {
  if (!DBShutdownContext::singleton) DBShutdownContext::singleton = new DBShutdownContext();
  return DBShutdownContext::singleton;
}

void DBShutdownContextAddDatabase(DBShutdownContext* context, RuntimeObject* database) {
  if (context && database) Prepend(&context->databases, database);
}

void DBShutdownContextAddCursor(DBShutdownContext* context, RuntimeObject* cursor) {
  if (context && cursor) Prepend(&context->cursors, cursor);
}

void DBShutdownContextRemoveDatabase(RuntimeObject* database) {
  for (DBShutdownContext* context = DBShutdownContext::contexts; context;
       context = context->nextContext_) {
    if (RemoveFrom(&context->databases, database)) return;
  }
}

void DBShutdownContextRemoveCursor(RuntimeObject* cursor) {
  for (DBShutdownContext* context = DBShutdownContext::contexts; context;
       context = context->nextContext_) {
    if (RemoveFrom(&context->cursors, cursor)) return;
  }
}

bool DBShutdownContextHolds(const RuntimeObject* object) {
  for (DBShutdownContext* context = DBShutdownContext::contexts; context;
       context = context->nextContext_) {
    for (const RegistryNode* list : {context->databases, context->cursors}) {
      for (const RegistryNode* node = list; node; node = node->next) {
        if (node->object == object) return true;
      }
    }
  }
  return false;
}

std::vector<ObjectRef> DBOpenCursors() {
  std::vector<ObjectRef> all;
  for (DBShutdownContext* context = DBShutdownContext::contexts; context;
       context = context->nextContext_) {
    for (ObjectRef& cursor : Snapshot(context->cursors)) all.push_back(std::move(cursor));
  }
  return all;
}
