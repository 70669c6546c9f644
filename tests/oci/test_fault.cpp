#include "oci/oci_fault.h"

#include "../ocilite/oci_session.h"

namespace {

TEST(oci_fault, the_nth_call_fails_as_the_client_would) {
  const oci_functions& table = test_oci();
  auto real_execute = table.OCIStmtExecute;
  {
    oci_fault_injector faults;
    oci_session s;
    s.connect("demo");
    const char* lost = "ORA-03113: end-of-file on communication channel\n";
    faults.fail({oci_fn::OCIStmtExecute, 2, OCI_ERROR, 3113, lost, true});
    OCIStmt* st = s.statement();
    EXPECT_EQ(OCI_SUCCESS, s.run(st, "SELECT * FROM DUAL", 0)) << s.error_text();
    EXPECT_EQ(OCI_ERROR, s.run(st, "SELECT * FROM DUAL", 0));
    EXPECT_EQ(lost, s.error_text());
    EXPECT_EQ(OCI_SUCCESS, s.run(st, "SELECT * FROM DUAL", 0));
    // A real error afterwards is the client's own, not the injected one.
    EXPECT_EQ(OCI_ERROR, s.run(st, "SELECT * FROM NOSUCH", 0));
    s.f.OCIHandleFree(st, OCI_HTYPE_STMT);
    EXPECT_EQ(942, s.error_code());
    EXPECT_EQ(4u, faults.calls(oci_fn::OCIStmtExecute));
    EXPECT_TRUE(faults.fired(oci_fn::OCIStmtExecute));
    EXPECT_FALSE(faults.fired(oci_fn::OCIStmtFetch));

    oci_session t;
    faults.fail({oci_fn::OCIServerAttach, 1, OCI_ERROR, 12541, "ORA-12541: TNS:no listener\n",
                 true});
    EXPECT_EQ(OCI_ERROR, t.attach("demo"));
    EXPECT_EQ(12541, t.error_code());
    EXPECT_EQ(OCI_SUCCESS, t.attach("demo"));
  }
  EXPECT_EQ(real_execute, table.OCIStmtExecute);
}

}  // namespace
