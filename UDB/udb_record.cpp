#include "UDB/udb_record.h"

udb_record::~udb_record() { clear(); }

void udb_record::clear() { fields.clear(); }
