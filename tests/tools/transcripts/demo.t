# The demonstration's day, then what it leaves read by the other commands
# (the manual's examples of dump and save among them): patients through the
# record class's look-ups, fields known by file name.
$ reclink demo db
...
  | REPORT_DB BO_GETEQ Status = 3
...
  20 records in 44 record files; 1 message box shown
...
The day went as expected.
$ reclink demo db
reclink demo: db is not an empty directory; the demonstration needs a fresh one
? 1
$ manual ### dump
$ manual ### save
$ reclink patients db --number 3
0000000003  鈴木 一郎  (スズキ イチロウ)  ID K-2026-0119
$ reclink patients db --name 佐藤
reclink patients: no patient with the name 佐藤
? 1
$ reclink patients db --number 9
reclink patients: no patient numbered 0000000009
? 1
# Code page 932 has no emoji.
$ reclink patients db --name 😀
reclink patients: the name must be code page 932 text of at most 40 bytes
? 2
$ reclink dump db/POINTLAT.BTR --format csv
record,patient key,sub-key,layout,other bytes
1,0000000001,LAT,current,@65 02 @68 8001 @72 1202 @76 9a01 @80 f201 @84 c301 @509 205c40
# The look-ups read fields at the patient file's offsets: another layout is refused.
$ cat p.des
record=300 key=1
position=1 length=21 duplicates=y type=zstring
$ reclink create db/PATIENT1.BTR p.des --force
created db/PATIENT1.BTR: records of 300 bytes, 1 keys
$ reclink patients db
reclink patients: db/PATIENT1.BTR does not have the layout of the patient file; record length 300, the database's PATIENT1.BTR has 3600; 1 key, the database's PATIENT1.BTR has 4
? 1
