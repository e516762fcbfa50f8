-- The relay's settings: the plant data server's address and port, for data and for files.
CREATE TABLE info_sysconf (信息名称 TEXT PRIMARY KEY, 值 TEXT);
INSERT INTO info_sysconf VALUES ('serverip_info', '127.0.0.1');
INSERT INTO info_sysconf VALUES ('serverport_info', '8088');
INSERT INTO info_sysconf VALUES ('serverip_file', '127.0.0.1');
INSERT INTO info_sysconf VALUES ('serverport_file', '8088');
