// The default transaction of a connection: started on demand, committed or
// rolled back by the application in the retaining way.
#pragma once

class TKVCustomDatabase;

class TKVCustomTransaction {
public:
    explicit TKVCustomTransaction(TKVCustomDatabase* database = nullptr);
    virtual ~TKVCustomTransaction();
    TKVCustomTransaction(const TKVCustomTransaction&) = delete;
    TKVCustomTransaction& operator=(const TKVCustomTransaction&) = delete;

    TKVCustomDatabase* Database() const { return FDatabase; }
    // Binds the transaction to a connection, which names it its default.
    void SetDatabase(TKVCustomDatabase* database);

    void StartTransaction();
    bool Active() const;
    // Commits the work so far and keeps a transaction open.
    void CommitRetaining();
    // Undoes the work since the last commit and keeps a transaction open.
    void RollbackRetaining();
    // Ends the transaction for real, rolled back; the next statement starts a
    // new one. Never throws. The jobs call it at the end of every run, after
    // committing their work, so that no transaction stays open between runs.
    void Rollback() noexcept;

private:
    friend class TKVCustomDatabase;
    TKVCustomDatabase& Db() const;

    TKVCustomDatabase* FDatabase = nullptr;
};

class TKVTransaction : public TKVCustomTransaction {
public:
    using TKVCustomTransaction::TKVCustomTransaction;
};
