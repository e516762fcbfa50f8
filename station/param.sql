-- Factory system parameters: one row per key, values as blank-separated decimal lists or text.
CREATE TABLE sysparam(name TEXT PRIMARY KEY, value TEXT);
INSERT INTO sysparam VALUES('trigInDelay', '5 5 5 5 5 5 5 5');
INSERT INTO sysparam VALUES('exposeTime', '30 30 30 30');
INSERT INTO sysparam VALUES('adjustPlus', '32 32 32 32');
INSERT INTO sysparam VALUES('sharp', '0 0 0 0');
INSERT INTO sysparam VALUES('contrast', '100 100 100 100');
-- mode, submode, auto exposure, auto WDR, (forced 1), black area, white area, similarity offered
INSERT INTO sysparam VALUES('numFailDetect', '0 0 0 0 1 1 1 1');
INSERT INTO sysparam VALUES('numAllDetect', '100 100 100 100 100 100 100 100');
INSERT INTO sysparam VALUES('isPswUsed', '0');
INSERT INTO sysparam VALUES('password', '8395');
-- semi-auto, product stage, shared set, correction, stop mould, pre-cut, mould re-checks, OK kept, -
INSERT INTO sysparam VALUES('system1', '0 1 0 -1 0 0 0 100 0');
-- ..., templates per region 10, NG kept 1000, language English, edge 8000, capture speed 12, input time-out 60 s
INSERT INTO sysparam VALUES('system2', '0 10 3 1000 0 0 0 0 0 0 0 0 1 0 8000 0 12 60');
INSERT INTO sysparam VALUES('system3', '0 0 1 1 1 1 1 0 0 0 0');
INSERT INTO sysparam VALUES('system4', '0 192 168 1 100 255 255 255 0 192 168 1 1 3 100');
INSERT INTO sysparam VALUES('system5', '30 30 32 32 0 0 100 100 0 0 0 0 0');
-- cameras 7-8, input hold 0.1 s, statistics on
INSERT INTO sysparam VALUES('system6', '30 30 32 32 0 0 100 100 1 1 0 0');
INSERT INTO sysparam VALUES('system7', '0 0 0 0 0 0 1 0 0 0 0 0 0 0 0 0 0 0 0 0');
-- two custom stages, message log on
INSERT INTO sysparam VALUES('system8', '2 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 1 0');
-- region warning after 2 failures in a row
INSERT INTO sysparam VALUES('system9', '0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 2 0 0 0 0');
-- zoom buttons shown
INSERT INTO sysparam VALUES('system10', '0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 1 0');
-- camera check and IO-link box on
INSERT INTO sysparam VALUES('system11', '0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 1 1 0 0');
INSERT INTO sysparam VALUES('system12', '0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0');
INSERT INTO sysparam VALUES('system13', '0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0');
INSERT INTO sysparam VALUES('CntNet', '0 1 3 0 0 6 1 10000');
INSERT INTO sysparam VALUES('CntNet_UseName', '');
INSERT INTO sysparam VALUES('CntNet_MsgTechName', '');
INSERT INTO sysparam VALUES('CntNet_MsgTechNum', '');
INSERT INTO sysparam VALUES('CntNet_ProName', '');
INSERT INTO sysparam VALUES('CntNet_Operator', '');
-- Regions and detection settings of cameras 1-8, filled when a setter teaches them.
CREATE TABLE cammer0(name TEXT, value TEXT);
CREATE TABLE cammer1(name TEXT, value TEXT);
CREATE TABLE cammer2(name TEXT, value TEXT);
CREATE TABLE cammer3(name TEXT, value TEXT);
CREATE TABLE cammer4(name TEXT, value TEXT);
CREATE TABLE cammer5(name TEXT, value TEXT);
CREATE TABLE cammer6(name TEXT, value TEXT);
CREATE TABLE cammer7(name TEXT, value TEXT);
