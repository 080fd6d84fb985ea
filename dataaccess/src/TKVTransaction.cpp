// The default transaction component: its work is done by the connection's
// driver session.
#include "dataaccess/TKVTransaction.h"

#include "dataaccess/TKVDatabase.h"

TKVCustomTransaction::TKVCustomTransaction(TKVCustomDatabase* database) {
    SetDatabase(database);
}

TKVCustomTransaction::~TKVCustomTransaction() {
    if (FDatabase && FDatabase->Transaction() == this) FDatabase->SetTransaction(nullptr);
}

void TKVCustomTransaction::SetDatabase(TKVCustomDatabase* database) {
    if (FDatabase == database) return;
    TKVCustomDatabase* old = FDatabase;
    FDatabase = database;
    if (old && old->Transaction() == this) old->SetTransaction(nullptr);
    if (database) database->SetTransaction(this);
}

TKVCustomDatabase& TKVCustomTransaction::Db() const {
    if (!FDatabase) throw EKVDatabaseError("Transação sem conexão.");
    return *FDatabase;
}

void TKVCustomTransaction::StartTransaction() {
    Db().StartTransaction();
}

bool TKVCustomTransaction::Active() const {
    return FDatabase && FDatabase->InTransaction();
}

void TKVCustomTransaction::CommitRetaining() {
    Db().CommitRetaining();
}

void TKVCustomTransaction::RollbackRetaining() {
    // The application undoes its unit of work: work lost with a connection
    // is now accounted for.
    Db().FLostWork = false;
    Db().RollbackRetaining();
}

void TKVCustomTransaction::Rollback() noexcept {
    if (FDatabase) FDatabase->EndTransaction();
}
