-- Cavity names per camera: sixteen names joined by blanks, saved and scratch copies.
CREATE TABLE CavityName_table(Camera varchar(32) primary key, CavityName varchar(32));
CREATE TABLE TempSave_table(Camera varchar(32) primary key, CavityName varchar(32));
INSERT INTO CavityName_table VALUES('Camera0', '模腔1 模腔2 模腔3 模腔4 模腔5 模腔6 模腔7 模腔8 模腔9 模腔10 模腔11 模腔12 模腔13 模腔14 模腔15 模腔16');
INSERT INTO CavityName_table VALUES('Camera1', '模腔1 模腔2 模腔3 模腔4 模腔5 模腔6 模腔7 模腔8 模腔9 模腔10 模腔11 模腔12 模腔13 模腔14 模腔15 模腔16');
INSERT INTO CavityName_table VALUES('Camera2', '模腔1 模腔2 模腔3 模腔4 模腔5 模腔6 模腔7 模腔8 模腔9 模腔10 模腔11 模腔12 模腔13 模腔14 模腔15 模腔16');
INSERT INTO CavityName_table VALUES('Camera3', '模腔1 模腔2 模腔3 模腔4 模腔5 模腔6 模腔7 模腔8 模腔9 模腔10 模腔11 模腔12 模腔13 模腔14 模腔15 模腔16');
INSERT INTO CavityName_table VALUES('Camera4', '模腔1 模腔2 模腔3 模腔4 模腔5 模腔6 模腔7 模腔8 模腔9 模腔10 模腔11 模腔12 模腔13 模腔14 模腔15 模腔16');
INSERT INTO CavityName_table VALUES('Camera5', '模腔1 模腔2 模腔3 模腔4 模腔5 模腔6 模腔7 模腔8 模腔9 模腔10 模腔11 模腔12 模腔13 模腔14 模腔15 模腔16');
INSERT INTO CavityName_table VALUES('Camera6', '模腔1 模腔2 模腔3 模腔4 模腔5 模腔6 模腔7 模腔8 模腔9 模腔10 模腔11 模腔12 模腔13 模腔14 模腔15 模腔16');
INSERT INTO CavityName_table VALUES('Camera7', '模腔1 模腔2 模腔3 模腔4 模腔5 模腔6 模腔7 模腔8 模腔9 模腔10 模腔11 模腔12 模腔13 模腔14 模腔15 模腔16');
INSERT INTO TempSave_table VALUES('Camera0', '模腔1 模腔2 模腔3 模腔4 模腔5 模腔6 模腔7 模腔8 模腔9 模腔10 模腔11 模腔12 模腔13 模腔14 模腔15 模腔16');
INSERT INTO TempSave_table VALUES('Camera1', '模腔1 模腔2 模腔3 模腔4 模腔5 模腔6 模腔7 模腔8 模腔9 模腔10 模腔11 模腔12 模腔13 模腔14 模腔15 模腔16');
INSERT INTO TempSave_table VALUES('Camera2', '模腔1 模腔2 模腔3 模腔4 模腔5 模腔6 模腔7 模腔8 模腔9 模腔10 模腔11 模腔12 模腔13 模腔14 模腔15 模腔16');
INSERT INTO TempSave_table VALUES('Camera3', '模腔1 模腔2 模腔3 模腔4 模腔5 模腔6 模腔7 模腔8 模腔9 模腔10 模腔11 模腔12 模腔13 模腔14 模腔15 模腔16');
INSERT INTO TempSave_table VALUES('Camera4', '模腔1 模腔2 模腔3 模腔4 模腔5 模腔6 模腔7 模腔8 模腔9 模腔10 模腔11 模腔12 模腔13 模腔14 模腔15 模腔16');
INSERT INTO TempSave_table VALUES('Camera5', '模腔1 模腔2 模腔3 模腔4 模腔5 模腔6 模腔7 模腔8 模腔9 模腔10 模腔11 模腔12 模腔13 模腔14 模腔15 模腔16');
INSERT INTO TempSave_table VALUES('Camera6', '模腔1 模腔2 模腔3 模腔4 模腔5 模腔6 模腔7 模腔8 模腔9 模腔10 模腔11 模腔12 模腔13 模腔14 模腔15 模腔16');
INSERT INTO TempSave_table VALUES('Camera7', '模腔1 模腔2 模腔3 模腔4 模腔5 模腔6 模腔7 模腔8 模腔9 模腔10 模腔11 模腔12 模腔13 模腔14 模腔15 模腔16');
