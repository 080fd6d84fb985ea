// The production-order write-off (the MET job): one run reads every inbox
// file, posts its production orders into the ERP and moves the file on.
#pragma once

class TfmDEZORiv;

namespace writeoff {

// One run over the inbox folder sPath + "Recebidos". Refused orders and
// failed postings are reported on Memo1 and the run goes on; any other error
// (an unreadable or malformed file, a database error outside the posting's
// writes) ends the run and propagates to the caller, which hands it to the
// unexpected-error handler with Origem/Destino naming the current file.
// A stop of the service (shell::StopRequested) ends the run after the order
// being posted; that file stays in Recebidos for the next run.
void ProcessaArquivos(TfmDEZORiv& fm);

}  // namespace writeoff
