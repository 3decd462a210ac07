// Updating and deleting patients, each inside a transaction of its own.

#include "reclink/records/patient.h"
#include "records/transaction.h"

using reclink::records::InOwnTransaction;

int CPatientDB::UpdatePatientData() {
  return InOwnTransaction(*this, [&] { return Update(); });
}

int CPatientDB::DeletePatientData() {
  return InOwnTransaction(*this, [&] { return Delete(); });
}

int CPatientDB::DeletePatientData(char const* number) {
  return InOwnTransaction(*this, [&] {
    const int status = GetPatientData(number);
    return status != 0 ? status : Delete();
  });
}
