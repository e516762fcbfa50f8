-- Serial numbers of the cameras bound to slots 1-8; '0' is an unbound slot.
CREATE TABLE sysparam(name TEXT PRIMARY KEY, value TEXT);
INSERT INTO sysparam VALUES('serialNB0', '0');
INSERT INTO sysparam VALUES('serialNB1', '0');
INSERT INTO sysparam VALUES('serialNB2', '0');
INSERT INTO sysparam VALUES('serialNB3', '0');
INSERT INTO sysparam VALUES('serialNB4', '0');
INSERT INTO sysparam VALUES('serialNB5', '0');
INSERT INTO sysparam VALUES('serialNB6', '0');
INSERT INTO sysparam VALUES('serialNB7', '0');
