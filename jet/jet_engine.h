// The DBEngine of the spreadsheet driver, registered for CoCreateInstance
// under the class id of DAO 3.6.
#pragma once

// With `install` false the class is removed again, as on a machine without DAO.
void jet_register_dbengine(bool install = true);
