/* A mail library that writes the message it is given to $QM_FAKE_MAIL_OUT
   and moves the process into /, as some mail clients do. */
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

typedef struct {
  unsigned reserved;
  unsigned recip_class;
  char* name;
  char* address;
  unsigned eid_size;
  void* eid;
} recipient;
typedef struct {
  unsigned reserved;
  char* subject;
  char* note;
  char* type;
  char* date;
  char* conversation;
  unsigned flags;
  void* originator;
  unsigned recip_count;
  recipient* recips;
  unsigned file_count;
  void* files;
} message;

unsigned MAPISendMail(unsigned long session, unsigned long ui, message* m, unsigned flags, unsigned reserved) {
  FILE* out = fopen(getenv("QM_FAKE_MAIL_OUT"), "w");
  if (!out) return 1;
  fprintf(out, "subject=%s\nnote=%s\ndate=%s\nrecipients=%u\nfiles=%u\nsession=%lu ui=%lu flags=%u reserved=%u\n",
          m->subject, m->note, m->date ? m->date : "", m->recip_count, m->file_count, session, ui, flags, reserved);
  for (unsigned i = 0; i < m->recip_count; ++i)
    fprintf(out, "to class=%u name=%s address=[%s]\n", m->recips[i].recip_class, m->recips[i].name,
            m->recips[i].address ? m->recips[i].address : "(null)");
  fclose(out);
  if (chdir("/") != 0) return 2;
  return 0;
}
